# Sourced by the bench scripts: install_release WORK builds the release preset and installs it in
# WORK/install, quietly.
install_release() {
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
  cmake --install build/release --prefix "$1/install" >/dev/null
}
