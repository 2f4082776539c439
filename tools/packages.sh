# Debian packages of the suite, and an installer that asks apt only for
# what is missing. Sourced by the set-up scripts.
BUILD_PACKAGES=(cmake g++ make pkg-config gettext libgtk2.0-dev libjpeg62-turbo-dev libpng-dev libyaml-cpp-dev libpoppler-cpp-dev fonts-dejavu-core fonts-freefont-ttf)
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
               libxtst-dev xvfb xauth xdotool xclip x11-utils openbox poppler-utils librsvg2-bin imagemagick
               desktop-file-utils appstream lintian dpkg-dev file time valgrind locales tesseract-ocr)

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}" </dev/null
}

# The locales the language tests run the programs under (ensure_locales
# en_US ru_RU): a fresh machine has only C and POSIX.
ensure_locales() {
    local sudo=() name
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    for name in "$@"; do
        locale -a 2>/dev/null | grep -qix "$name.utf8" && continue
        echo "Generating the locale $name.UTF-8"
        "${sudo[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
}
