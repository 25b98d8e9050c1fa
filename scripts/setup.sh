#!/usr/bin/env bash
# Installs the build tools (and the Linux libraries of the native build) and
# builds the Windows (mingw-w64) dependencies from Debian's source packages
# into a cache outside the repository.
# Safe to run again: each step is skipped when its result is already there.
#
# Prints the dependency prefix as its last line of output (also in
# $KELO_DEPS_PREFIX_FILE when that is set).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache_root=${KELO_DEPS_CACHE:-/var/cache/kelo-deps}
jobs=$(nproc)

# Versions of Debian 12's source packages; the cache key follows them.
PKGS=(pugixml fmtlib googletest libsodium libzip curl benchmark cpp-httplib)
RECIPE_REV=4

log() { echo "[setup] $*" >&2; }

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup.sh must run as root (it installs Debian packages)" >&2
    exit 1
  fi
}

install_packages() {
  local want=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix cmake ninja-build
              wine wine64 xvfb xauth libz-mingw-w64-dev nlohmann-json3-dev libmsgsl-dev
              autoconf automake libtool dpkg-dev pkg-config make xz-utils
              g++ clang-14 libfuzzer-14-dev libclang-rt-14-dev libpugixml-dev libfmt-dev libsodium-dev
              libzip-dev libgtest-dev libgmock-dev libbenchmark-dev libcurl4-openssl-dev)
  local missing=()
  for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  local src=/etc/apt/sources.list.d/kelo-deb-src.sources
  local updated=0
  if [ ! -f "$src" ] && [ ! -f /etc/apt/sources.list.d/kelo-deb-src.list ]; then
    need_root
    log "enabling deb-src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src"
    else
      src=/etc/apt/sources.list.d/kelo-deb-src.list
      grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$src"
    fi
    apt-get update -qq
    updated=1
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    need_root
    log "installing ${missing[*]}"
    [ $updated = 1 ] || apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

install_packages

versions=""
for p in "${PKGS[@]}"; do
  v=$(apt-cache showsrc "$p" | awk '/^Version:/{print $2; exit}')
  if [ -z "$v" ]; then apt-get update -qq; v=$(apt-cache showsrc "$p" | awk '/^Version:/{print $2; exit}'); fi
  [ -n "$v" ] || { echo "no source package for $p" >&2; exit 1; }
  versions+="$p=$v;"
done
key=$(printf '%s rev%s' "$versions" "$RECIPE_REV" | sha256sum | cut -c1-16)
prefix="$cache_root/$key"
stamp="$prefix/.complete"

if [ -f "$stamp" ]; then
  log "dependencies already built in $prefix"
else
  log "building dependencies into $prefix ($versions)"
  work=$(mktemp -d /tmp/kelo-deps.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix"
  mkdir -p "$prefix/include" "$prefix/lib"
  cd "$work"
  for p in "${PKGS[@]}"; do
    mkdir -p "src-$p"
    (cd "src-$p" && apt-get source -qq --download-only "$p" >/dev/null 2>&1) || { echo "apt-get source $p failed" >&2; exit 1; }
  done

  unpack() { # package -> prints source dir
    local p=$1 d="$work/$1"
    mkdir -p "$d"
    local orig
    orig=$(ls "$work/src-$p"/*.orig.tar.* | head -1)
    tar -xf "$orig" -C "$d"
    local top
    top=$(find "$d" -mindepth 1 -maxdepth 1 -type d | head -1)
    echo "$top"
  }

  TC="$here/../cmake/mingw-w64-x86_64.cmake"
  cm_common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$TC" -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF)

  build_cmake() { # name srcdir args...
    local n=$1 s=$2; shift 2
    log "  $n"
    cmake -S "$s" -B "$work/build-$n" "${cm_common[@]}" "$@" >"$work/$n.log" 2>&1 \
      && cmake --build "$work/build-$n" -j"$jobs" >>"$work/$n.log" 2>&1 \
      && cmake --install "$work/build-$n" >>"$work/$n.log" 2>&1 \
      || { tail -40 "$work/$n.log" >&2; exit 1; }
  }

  build_cmake pugixml "$(unpack pugixml)" -DPUGIXML_BUILD_TESTS=OFF &
  build_cmake fmt "$(unpack fmtlib)" -DFMT_TEST=OFF -DFMT_DOC=OFF &
  build_cmake googletest "$(unpack googletest)" -Dgtest_disable_pthreads=OFF &
  build_cmake benchmark "$(unpack benchmark)" -DBENCHMARK_ENABLE_TESTING=OFF \
      -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_INSTALL=ON &
  build_cmake libzip "$(unpack libzip)" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
      -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
      -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF \
      -DBUILD_DOC=OFF -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
      -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include &

  (
    s=$(unpack libsodium); log "  libsodium"
    cd "$s"
    { ./autogen.sh -s && ./configure --host=x86_64-w64-mingw32 --prefix="$prefix" \
        --disable-shared --enable-static --disable-pie \
        CC=x86_64-w64-mingw32-gcc-posix \
      && make -j"$jobs" && make install; } >"$work/libsodium.log" 2>&1 \
      || { tail -40 "$work/libsodium.log" >&2; exit 1; }
  ) &

  (
    s=$(unpack curl); log "  curl"
    cd "$s"
    { ./configure --host=x86_64-w64-mingw32 --prefix="$prefix" \
        CC=x86_64-w64-mingw32-gcc-posix \
        --disable-shared --enable-static --with-schannel --with-zlib=/usr/x86_64-w64-mingw32 \
        --without-libpsl --without-brotli --without-zstd --without-libidn2 --without-nghttp2 \
        --without-librtmp --without-libssh2 --disable-ldap --disable-ldaps --disable-rtsp \
        --disable-dict --disable-telnet --disable-tftp --disable-pop3 --disable-imap \
        --disable-smtp --disable-gopher --disable-mqtt --disable-smb --disable-ftp \
        --disable-file --disable-manual --disable-docs \
      && make -j"$jobs" -C lib && make -C lib install && make -C include install; } >"$work/curl.log" 2>&1 \
      || { tail -40 "$work/curl.log" >&2; exit 1; }
  ) &

  fail=0
  for j in $(jobs -p); do wait "$j" || fail=1; done
  [ $fail = 0 ] || { echo "dependency build failed" >&2; exit 1; }

  # Header-only libraries: copied so /usr/include never lands on the cross compiler's path.
  cp -r /usr/include/nlohmann "$prefix/include/"
  cp -r /usr/include/gsl "$prefix/include/"
  # cpp-httplib (single header): the HTTP server of the web stand-ins, tests and demo only.
  cp "$(find "$(unpack cpp-httplib)" -maxdepth 1 -name httplib.h | head -1)" "$prefix/include/"
  echo "$versions" > "$stamp"
  log "dependencies ready"
fi

[ -z "${KELO_DEPS_PREFIX_FILE:-}" ] || echo "$prefix" > "$KELO_DEPS_PREFIX_FILE"
echo "$prefix"
