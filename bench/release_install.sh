# Sourced by the bench scripts: builds the release preset and installs it, quietly, in a scratch
# folder $work that goes when the script ends; the programs are in $bin.
install_release() {
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
  cmake --install build/release --prefix "$1/install" >/dev/null
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
install_release "$work"
bin=$work/install/bin
