#!/usr/bin/env bash
# Builds Qt for Windows with Debian's mingw-w64 (posix threads) from Debian's own qt6-base
# source, the very Qt of the Linux build, with only what TesteECF and its tests use: Core,
# Gui, Widgets, Test, the windows and offscreen platforms, PNG. It goes into a cache outside
# the work tree, keyed by the Qt version, the triplet and a hash of the options, the patches,
# the toolchain file and the compiler, and is reused while complete. The first build takes
# about an hour on a busy 2-core machine.
#
#   scripts/qt-windows.sh x86_64-w64-mingw32 | i686-w64-mingw32
#
# The last line of the output is the install prefix; everything else goes to a log in the
# cache. Configure a project against it with
#   <prefix>/bin/qt-cmake -S . -B build -G Ninja
# or: cmake -DCMAKE_TOOLCHAIN_FILE=<prefix>/lib/cmake/Qt6/qt.toolchain.cmake ...
set -euo pipefail

triplet=${1:-}
case "$triplet" in
x86_64-w64-mingw32) arquitetura=x86-64 ;;
i686-w64-mingw32) arquitetura=i686 ;;
*)
    echo "usage: $0 x86_64-w64-mingw32|i686-w64-mingw32" >&2
    exit 2
    ;;
esac

raiz=$(cd "$(dirname "$0")/.." && pwd)
cache=${TESTEECF_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/testeecf}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
sudo_=""
[ "$(id -u)" -eq 0 ] || sudo_=sudo

diz() { echo "qt-windows: $*" >&2; }

# On failure, where the chatter of the step went, and its end.
log_atual="$cache/qt-windows-setup.log"
ao_sair() {
    local rc=$?
    ((rc == 0)) && return
    diz "failed (exit $rc); log: $log_atual"
    tail -n 40 "$log_atual" >&2 || true
}
trap ao_sair EXIT

# Another run may be installing packages at the same time: wait for dpkg's lock.
apt_() { DEBIAN_FRONTEND=noninteractive $sudo_ apt-get -o DPkg::Lock::Timeout=600 "$@"; }

pacotes=(
    "g++-mingw-w64-$arquitetura-posix" qt6-base-dev qt6-base-dev-tools
    cmake ninja-build dpkg-dev xz-utils patch perl coreutils util-linux
)
faltam=()
for p in "${pacotes[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || faltam+=("$p")
done
if ((${#faltam[@]})); then
    diz "installing ${faltam[*]}"
    {
        apt_ update -q
        apt_ install -y -q --no-install-recommends "${faltam[@]}"
    } >>"$log_atual" 2>&1
fi

# The Qt built here must be the host Qt's version: its moc, rcc and uic do the host work.
fonte_versao=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
qt_versao=$(dpkg-query -W -f='${source:Upstream-Version}' qt6-base-dev)
qt_versao=${qt_versao%%+*}
host_cmake=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake

opcoes=(
    -release -shared -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-vulkan
    -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz
    -no-freetype -no-fontconfig -no-libjpeg -no-feature-gif -no-feature-ico
    -no-feature-network -no-feature-sql -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml
    # Debian's repacked source has no Wintab headers, and mingw-w64 has none either.
    -no-feature-tabletevent
    # Direct2D would only add its own platform plugin; see the patch for the windows one.
    -no-feature-direct2d
)
patches=("$raiz"/scripts/qt-windows/*.patch)
toolchain="$raiz/cmake/qt-mingw-w64.cmake"
compilador="$triplet-g++-posix"

chave=$(
    {
        printf '%s\n' "$fonte_versao" "${opcoes[@]}"
        cat "${patches[@]}" "$toolchain"
        "$compilador" --version | head -n1
    } | sha256sum | cut -c1-10
)
nome="qt-$qt_versao-$triplet-$chave"
prefixo="$cache/$nome"
marca="$prefixo/testeecf-qt.stamp"
trabalho="$cache/work/$nome"

if [ ! -f "$marca" ]; then
    exec 9>"$cache/$nome.lock"
    flock -n 9 || {
        diz "waiting for another build of $nome"
        flock 9
    }
fi

if [ ! -f "$marca" ]; then
    # Source entries and downloads are shared by every build in the cache.
    exec 8>"$cache/sources.lock"
    flock 8
    # shellcheck disable=SC2016 # $(FIELD) is apt's placeholder, not the shell's
    if ! apt-get source --print-uris -qq "qt6-base=$fonte_versao" >/dev/null 2>&1; then
        # Debian's source for the suites the host installs from, on the host's own mirrors.
        if ! apt-get indextargets --no-release-info --format '$(TARGET_OF) $(RELEASE) $(COMPONENT)' |
            grep -q '^deb-src bookworm main$'; then
            entrada=/etc/apt/sources.list.d/testeecf-deb-src.sources
            chaveiro=/usr/share/keyrings/debian-archive-keyring.gpg
            [ -f "$chaveiro" ] || chaveiro=""
            diz "adding Debian's source entries in $entrada"
            texto=$(
                apt-get indextargets --no-release-info \
                    --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
                    awk -v chave="$chaveiro" '$1 == "deb" && $3 ~ /^bookworm/ && $4 == "main" && !visto[$2" "$3]++ {
                            suites[$2] = suites[$2] " " $3
                         }
                         END {
                            for (uri in suites) {
                                printf "Types: deb-src\nURIs: %s\nSuites:%s\nComponents: main\n", uri, suites[uri]
                                if (chave != "") printf "Signed-By: %s\n", chave
                                printf "\n"
                            }
                         }'
            )
            [ -n "$texto" ] || {
                echo "no apt entry for bookworm main: cannot add its source" >>"$log_atual"
                false
            }
            printf '%s\n' "$texto" | $sudo_ tee "$entrada" >/dev/null
        fi
        apt_ update -q >>"$log_atual" 2>&1
    fi
    mkdir -p "$cache/downloads"
    dsc="$cache/downloads/qt6-base_${fonte_versao#*:}.dsc"
    if [ ! -f "$dsc" ]; then
        diz "downloading Debian's qt6-base $fonte_versao source"
        (cd "$cache/downloads" && apt-get source --download-only -q "qt6-base=$fonte_versao") >>"$log_atual" 2>&1
    fi
    flock -u 8

    log_atual="$cache/$nome.log"
    : >"$log_atual"
    diz "building Qt $qt_versao for $triplet in $prefixo (about an hour; log: $log_atual)"
    # A folder without the stamp is what a failed or interrupted build left.
    rm -rf "$prefixo" "$trabalho"
    mkdir -p "$prefixo" "$trabalho/build"
    {
        echo "== source"
        dpkg-source -x "$dsc" "$trabalho/src"
        for p in "${patches[@]}"; do
            echo "== patch $(basename "$p")"
            patch -p1 -d "$trabalho/src" <"$p"
        done
    } >>"$log_atual" 2>&1
    # The installed Qt's qt.toolchain.cmake loads this copy for the programs built against it.
    {
        echo "# The toolchain this Qt was built with (cmake/qt-mingw-w64.cmake, by scripts/qt-windows.sh)."
        echo "set(MINGW_TRIPLET $triplet)"
        cat "$toolchain"
    } >"$prefixo/toolchain.cmake"

    # Other work shares this machine: two jobs at most, at the lowest priority.
    tarefas=$(nproc)
    ((tarefas <= 2)) || tarefas=2
    medir() {
        local inicio=$SECONDS
        echo "== $*" >>"$log_atual"
        nice -n 19 "$@" >>"$log_atual" 2>&1
        segundos=$((SECONDS - inicio))
    }
    cd "$trabalho/build"
    medir ../src/configure -prefix "$prefixo" "${opcoes[@]}" -qt-host-path /usr -- \
        -DCMAKE_TOOLCHAIN_FILE="$prefixo/toolchain.cmake" -DQT_HOST_PATH_CMAKE_DIR="$host_cmake"
    t_configurar=$segundos
    medir cmake --build . --parallel "$tarefas"
    t_compilar=$segundos
    medir cmake --install .
    t_instalar=$segundos
    cd "$cache"
    rm -rf "$trabalho"
    rmdir "$cache/work" 2>/dev/null || true
    tamanho=$(du -sm "$prefixo" | cut -f1)
    {
        echo "qt6-base $fonte_versao for $triplet"
        echo "options: ${opcoes[*]}"
        echo "configure ${t_configurar}s, build ${t_compilar}s with -j$tarefas, install ${t_instalar}s"
        echo "installed ${tamanho} MB"
    } | tee -a "$log_atual" >"$marca.tmp"
    mv "$marca.tmp" "$marca"
    diz "done: configure ${t_configurar}s, build ${t_compilar}s, install ${t_instalar}s, ${tamanho} MB"
fi

echo "$prefixo"
