#!/bin/bash
# Make 32-bit Wine usable on an x86-64 kernel that refuses to run i386 code
# (ia32_emulation off: i386 ELF gives "Exec format error", and even the
# 32-bit code segment is unusable, so WoW64 of any kind is out).
#
# Route: i386 ELF binaries run under qemu-user (registered via binfmt_misc
# with the F flag); the wineserver runs natively (wineserver64 from the
# wine64 package); an LD_PRELOAD shim (wine-trapfix.c, next to this script)
# repairs the fault numbers qemu hands to Wine's signal handlers.
#
# Usage:  sudo bash setup-wine.sh [--verify]
#   Idempotent.  A run that changes nothing skips the (20 s) Wine smoke
#   test unless --verify is given.  Afterwards plain `wine ...` works via
#   /usr/local/bin/wine, which sets LD_PRELOAD and WINEARCH=win32.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
force_verify=0
[[ ${1-} == --verify ]] && force_verify=1

shim_root=/usr/local/lib/wine-qemu
wrapper=/usr/local/bin/wine
stamp=/var/lib/wine-qemu/verified
backports_list=/etc/apt/sources.list.d/bookworm-backports.sources
binfmt_dir=/proc/sys/fs/binfmt_misc
binfmt_name=qemu-i386
qemu=/usr/bin/qemu-i386-static
changed=0

log() { printf '[setup-wine] %s\n' "$*" >&2; }
export DEBIAN_FRONTEND=noninteractive

installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == 'install ok installed' ]]; }

apt_updated=0
apt_update() { ((apt_updated)) || { log "apt-get update"; apt-get update -qq; apt_updated=1; }; }

apt_install() {  # retry once after apt-get update (lists may be missing or stale)
    if ! apt-get install -y -qq --no-install-recommends "$@" >/dev/null; then
        apt_update
        apt-get install -y -qq --no-install-recommends "$@" >/dev/null
    fi
}

# --- packages -------------------------------------------------------------
if [[ $'\n'$(dpkg --print-foreign-architectures)$'\n' != *$'\n'i386$'\n'* ]]; then
    log "adding i386 architecture"
    dpkg --add-architecture i386
    apt_updated=0; apt_update
fi

# qemu 7.2 (bookworm) is unusable for Wine: MAP_FIXED_NOREPLACE emulation
# makes every Wine process spend ~75 s in its address-space reservation,
# and wineboot crashes.  bookworm-backports carries qemu 10.
if [[ ! -e $backports_list ]]; then
    log "enabling bookworm-backports"
    cat >"$backports_list" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt_updated=0; apt_update
fi

qemu_major() { "$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
if [[ ! -x $qemu || $(qemu_major) -lt 8 ]]; then
    log "installing qemu-user-static from bookworm-backports"
    if ! apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null; then
        apt_update
        apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
    fi
    changed=1
fi

need=()
for p in g++-mingw-w64-i686 wine wine32:i386 wine64 gcc-multilib; do
    installed "$p" || need+=("$p")
done
if ((${#need[@]})); then
    log "installing ${need[*]}"
    apt_install "${need[@]}"
    changed=1
fi

# --- binfmt_misc ------------------------------------------------------------
if [[ ! -e $binfmt_dir/register ]]; then
    log "mounting binfmt_misc"
    mount -t binfmt_misc binfmt_misc "$binfmt_dir"
fi
[[ $(cat "$binfmt_dir/status") == enabled ]] || echo 1 >"$binfmt_dir/status"

# i386 ELF, ET_EXEC or ET_DYN (mask as in qemu's qemu-binfmt-conf.sh).
# F: the kernel opens the interpreter now, so it works in any mount
#    namespace or chroot.  P: keep argv[0] (qemu reads AT_FLAGS for it).
binfmt_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':FP'
binfmt_ok() {
    local f=$binfmt_dir/$binfmt_name
    [[ -e $f ]] && grep -qx enabled "$f" && grep -qx "interpreter $qemu" "$f" \
        && grep -q '^flags: .*F' "$f" && grep -qx 'magic 7f454c4601010100000000000000000002000300' "$f"
}
if ! binfmt_ok; then
    log "registering $qemu for i386 ELF"
    [[ -e $binfmt_dir/$binfmt_name ]] && echo -1 >"$binfmt_dir/$binfmt_name"
    printf '%s' "$binfmt_rule" >"$binfmt_dir/register"
    changed=1
fi

# --- trap-number shim and wrapper -------------------------------------------
# The shim only does something in 32-bit processes; an empty 64-bit build
# sits at the $LIB path for x86-64 so that 64-bit programs started under the
# same LD_PRELOAD (the /usr/bin/wine shell script, the native wineserver)
# load it silently instead of printing an ld.so error.
shim32=$shim_root/lib/i386-linux-gnu/libtrapfix.so
shim64=$shim_root/lib/x86_64-linux-gnu/libtrapfix.so
src=$here/wine-trapfix.c
if [[ ! -f $shim32 || ! -f $shim64 || $src -nt $shim32 ]]; then
    log "building trap-number shim"
    mkdir -p "${shim32%/*}" "${shim64%/*}"
    gcc -m32 -O2 -shared -fPIC -Wall -Werror "$src" -o "$shim32.tmp" -ldl
    gcc -O2 -shared -fPIC -Wall -Werror "$src" -o "$shim64.tmp"
    mv "$shim32.tmp" "$shim32"; mv "$shim64.tmp" "$shim64"
    changed=1
fi

wrapper_text=$(cat <<EOF
#!/bin/sh
# Written by setup-wine.sh: 32-bit Wine under qemu-user.
LD_PRELOAD="$shim_root/\\\$LIB/libtrapfix.so\${LD_PRELOAD:+:\$LD_PRELOAD}"
WINEARCH="\${WINEARCH:-win32}"
export LD_PRELOAD WINEARCH
exec /usr/bin/wine "\$@"
EOF
)
if [[ ! -x $wrapper || $(cat "$wrapper") != "$wrapper_text" ]]; then
    log "writing $wrapper"
    printf '%s\n' "$wrapper_text" >"$wrapper.tmp"
    chmod 755 "$wrapper.tmp"; mv "$wrapper.tmp" "$wrapper"
    changed=1
fi

# --- verification -------------------------------------------------------------
if ((changed || force_verify)) || [[ ! -e $stamp ]]; then
    log "verifying: wine cmd /c echo ok in a fresh prefix"
    prefix=$(mktemp -d /tmp/wine-verify.XXXXXX)
    rmdir "$prefix"   # let wine create it
    start=$SECONDS
    out=$(WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' \
          timeout 600 "$wrapper" cmd /c echo ok 2>&1 </dev/null) || true
    WINEPREFIX=$prefix timeout 60 wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    if [[ $(printf '%s\n' "$out" | tr -d '\r' | tail -n1) != ok ]]; then
        log "FAILED; wine said:"; printf '%s\n' "$out" >&2
        rm -f "$stamp"
        exit 1
    fi
    log "ok ($((SECONDS - start)) s including prefix creation)"
    mkdir -p "${stamp%/*}"; date -u +%FT%TZ >"$stamp"
fi
log "ready: use $wrapper (or export LD_PRELOAD='$shim_root/\$LIB/libtrapfix.so' WINEARCH=win32)"
