#!/usr/bin/env bash
# Proves that the README's two commands work on a fresh machine: builds a
# minimal Debian bookworm root with debootstrap, installs in it only what any
# user has (python3, git, ca-certificates), clones this checkout's committed
# HEAD into it and runs the two commands of the README's "Two commands"
# section there, verbatim, as root in a chroot with a clean environment.
#
# Needs root (debootstrap, chroot, mounts) and the network to reach the Debian
# mirror that apt is configured with, and PyPI.  The root is made under
# /var/tmp and removed afterwards; KEEP_ROOT=1 keeps it for a look.
#
# WITH_GRID=1 (or --grid) also installs Java, Maven and iproute2 from
# Debian in the root before the commands run, so that the suite's Selenium
# Grid tests (tests/grid/, which resolve the Grid from Maven Central) run
# there too instead of being skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

if [ "${1:-}" = "--grid" ]; then
  export WITH_GRID=1
  shift
fi
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=KEEP_ROOT,WITH_GRID bash "$0" "$@"
fi

# The Debian mirror apt already uses (deb822 sources or the one-line format).
mirror="$(
  { grep -hE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}';
    grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '{print $2}'; } \
  | grep -E '/debian/?$' | head -n 1
)" || true
mirror="${mirror:-http://deb.debian.org/debian}"

# The two commands, verbatim: the lines of the first ```sh block after the
# "## Two commands" heading.
mapfile -t commands < <(awk '
  /^## Two commands/ { section = 1; next }
  section && /^## / { exit }
  section && /^```sh/ { block = 1; next }
  section && block && /^```/ { exit }
  section && block && NF { print }
' README.md)
if [ ${#commands[@]} -ne 2 ]; then
  echo "Expected two commands under \"## Two commands\" in README.md, found ${#commands[@]}" >&2
  exit 1
fi

if ! command -v debootstrap >/dev/null 2>&1; then
  echo "Installing debootstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

root="$(mktemp -d /var/tmp/kestrelflow-fresh-root.XXXXXX)"
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[i]}" 2>/dev/null || true
  done
  if [ "${KEEP_ROOT:-}" = 1 ]; then
    echo "Root kept at $root"
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
mount_in() {  # mount_in TARGET MOUNT-ARGUMENTS...
  mkdir -p "$root/$1"
  mount "${@:2}" "$root/$1"
  mounted+=("$root/$1")
}

started=$SECONDS
stage() { printf '\n==== %s (%ds so far)\n' "$1" $((SECONDS - started)); }

stage "debootstrap --variant=minbase bookworm from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 \
  || { tail -n 30 "$root.debootstrap.log" >&2; exit 1; }
rm -f "$root.debootstrap.log"

mount_in proc -t proc proc
mount_in sys -t sysfs sys
mount_in dev --bind /dev
mount_in dev/pts --bind /dev/pts
mount_in dev/shm -t tmpfs -o size=512m tmpfs
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

stage "apt-get install python3 git ca-certificates (what any user has)"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3 git ca-certificates >/dev/null
# A machine behind an inspecting proxy trusts that proxy's certificate
# authority; so does the fresh root (the certificates are public).
shopt -s nullglob
local_cas=(/usr/local/share/ca-certificates/*.crt)
if [ ${#local_cas[@]} -gt 0 ]; then
  cp "${local_cas[@]}" "$root/usr/local/share/ca-certificates/"
  in_root update-ca-certificates >/dev/null
fi

if [ "${WITH_GRID:-}" = 1 ]; then
  stage "apt-get install default-jre-headless maven iproute2 (for the Grid tests)"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    default-jre-headless maven iproute2 >/dev/null
fi

stage "git clone of this checkout's HEAD ($(git rev-parse --short HEAD))"
git clone -q --no-local "$repo" "$root/root/kestrelflow"

for command in "${commands[@]}"; do
  stage "$command"
  in_root bash -c "cd /root/kestrelflow && $command"
done

stage "The README's two commands passed on a fresh bookworm root"
