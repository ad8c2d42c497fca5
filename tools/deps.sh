# Sourced by demo.sh and check.sh: installs the Debian 12 packages named in
# "$@" that are missing (nothing is fetched when all are there).
kv_install() {
    local sudo="" missing=() p
    [ "$(id -u)" = 0 ] || sudo=sudo
    for p in "$@"; do
        case "$p" in
            *:i386) $sudo dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
            *:armhf) $sudo dpkg --print-foreign-architectures | grep -qx armhf || $sudo dpkg --add-architecture armhf ;;
        esac
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

KV_BUILD_PACKAGES=(g++ cmake ninja-build pkgconf libpcre2-dev)
# What the demo needs besides the build: luit shows the program's code page
# 437 screen in a UTF-8 terminal.
KV_DEMO_PACKAGES=(luit)
