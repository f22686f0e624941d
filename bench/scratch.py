"""Temporary folders for the benchmark scripts, removed when the script ends: renders of whole
sets, left behind run after run, fill a disk."""
import atexit
import shutil
import tempfile


def scratch_dir(prefix=None):
    path = tempfile.mkdtemp(prefix=prefix)
    atexit.register(shutil.rmtree, path, True)
    return path
