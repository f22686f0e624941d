#!/usr/bin/env bash
# Installs a build (build/, or the folder given) under /usr/local, the Python package included,
# so that `python3 -c "import letterforge"` works: the package goes into the system
# interpreter's directory for local packages (/usr/local/lib/python3.X/dist-packages on Debian),
# its module holding the engine itself. When the python3 found on PATH is another
# interpreter of the same version (one of a version manager, say) that cannot import it, that
# interpreter gets a .pth file naming a folder that links only the package and Debian's NumPy.
# Running it again changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
system=/usr/bin/python3

# The package, with the programs, the library, its header and the manual pages.
cmake --install "$dir" --strip >/dev/null
site=$(sed -n 's/^LF_PYTHON_INSTALL_DIR:PATH=//p' "$dir/CMakeCache.txt")
# Away from the repository, whose letterforge/ folder of sources would pass for a package.
imports() { (cd / && "$1" -c "import letterforge._letterforge" 2>/dev/null); }
imports "$system" || { echo "letterforge cannot be imported from $site" >&2; exit 1; }

version() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])'; }
other=$(command -v python3 || true)
if [ -z "$other" ] || imports python3; then
  exit 0
fi
if [ "$(version "$other")" != "$(version "$system")" ]; then
  echo "note: $other is Python $(version "$other"); use $system for letterforge" >&2
  exit 0
fi
links=/usr/local/lib/letterforge-python$(version "$system")
numpy=$("$system" -c 'import os, numpy; print(os.path.dirname(numpy.__file__))')
mkdir -p "$links"
ln -sfn "$site/letterforge" "$links/letterforge"
ln -sfn "$numpy" "$links/numpy"
other_site=$(python3 -c 'import site; print(site.getsitepackages()[0])')
echo "$links" > "$other_site/letterforge.pth"
imports python3 || { echo "letterforge cannot be imported by $other" >&2; exit 1; }
