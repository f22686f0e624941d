"""The tests import the package from the build tree ($LF_BUILD_DIR/python, by default
build/python), never from an installed copy."""

import os
import shutil
import sys
import tempfile

import pytest

from support import BUILD_DIR

_PACKAGE_DIR = os.path.join(BUILD_DIR, "python")
sys.path.insert(0, _PACKAGE_DIR)
# Dask's worker processes start new interpreters: they find the package through the
# environment.
os.environ["PYTHONPATH"] = os.pathsep.join(
    [_PACKAGE_DIR] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])


@pytest.fixture
def workdir():
    """A scratch directory, removed after the test."""
    path = tempfile.mkdtemp(prefix="lf-python-test-")
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)
