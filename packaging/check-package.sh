#!/usr/bin/env bash
# Builds the Debian packages from a configured and built tree and checks their contents:
#   packaging/check-package.sh <build-dir>
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="$(cd "${1:?usage: $0 build-dir}" && pwd)"
output="$build_dir/packages"
rm -rf "$output"
(cd "$build_dir" && cpack -B "$output" >/dev/null)

failures=0
fail() {
  echo "check-package: $*" >&2
  failures=$((failures + 1))
}
expect_equal() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    fail "$1: expected"$'\n'"$2"$'\n'"got"$'\n'"$3"
  fi
}
files_of() {  # the regular files and links of a package, sorted
  dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sort
}

version="$(sed -n 's/^set(VARNOK_GIT_VERSION "\(.*\)")$/\1/p' "$source_dir/libs/cpp-libraries/core/CMakeLists.txt")"
release="$(sed -n 's/^set(VARNOK_GIT_SUBVERSION "\(.*\)")$/\1/p' "$source_dir/libs/cpp-libraries/core/CMakeLists.txt")"
daemon_deb="$(ls "$output"/varnok_*.deb)"

expect_equal "daemon package name" varnok "$(dpkg-deb -f "$daemon_deb" Package)"
expect_equal "daemon package version" "$version-$release" "$(dpkg-deb -f "$daemon_deb" Version)"
depends="$(dpkg-deb -f "$daemon_deb" Depends)"
for library in libc6 libstdc++6 libcurl4 libzmq5 libjsoncpp25 libsystemd0 libprometheus-cpp-pull1.0; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
expect_equal "daemon package files" "./etc/varnok/varnok.json
./lib/systemd/system/varnok.service
./usr/sbin/varnok
./usr/share/doc/varnok/README.md
./usr/share/doc/varnok/grafana-dashboard.json
./usr/share/man/man8/varnok.8.gz" "$(files_of "$daemon_deb")"

control="$(mktemp -d)"
root="$(mktemp -d)"
trap 'rm -rf "$control" "$root"' EXIT
dpkg-deb --control "$daemon_deb" "$control"
expect_equal "conffiles" "/etc/varnok/varnok.json" "$(cat "$control/conffiles")"
for script in postinst prerm postrm; do
  [ -x "$control/$script" ] || fail "maintainer script $script missing or not executable"
done

dpkg-deb --extract "$daemon_deb" "$root"
runtime_directory="$(sed -n 's/^RuntimeDirectory=//p' "$root/lib/systemd/system/varnok.service")"
pidfile="$(sed -n 's/^ *"pidfile": *"\([^"]*\)",$/\1/p' "$root/etc/varnok/varnok.json")"
expect_equal "pid file directory" "/run/$runtime_directory" "$(dirname "$pidfile")"
grep -q '^ExecStart=/usr/sbin/varnok -c /etc/varnok/varnok.json$' "$root/lib/systemd/system/varnok.service" ||
  fail "the unit does not start /usr/sbin/varnok with /etc/varnok/varnok.json"
manual_warnings="$(zcat "$root/usr/share/man/man8/varnok.8.gz" | groff -man -Tutf8 -ww -z 2>&1)"
expect_equal "manual page warnings" "" "$manual_warnings"
if command -v systemd-analyze >/dev/null; then
  # The unit as installed, but starting the extracted daemon; the manual page was checked above.
  mkdir "$root/unit"
  sed "s|^ExecStart=/usr/sbin/varnok |ExecStart=$root/usr/sbin/varnok |" \
    "$root/lib/systemd/system/varnok.service" >"$root/unit/varnok.service"
  unit_warnings="$(systemd-analyze verify --man=no "$root/unit/varnok.service" 2>&1)"
  expect_equal "systemd-analyze verify" "" "$unit_warnings"
else
  echo "check-package: no systemd-analyze here, the unit is not verified" >&2
fi

simulator_debs=("$output"/varnok-sim_*.deb)
if [ -e "${simulator_debs[0]}" ]; then
  simulator_files="$(files_of "${simulator_debs[0]}")"
  grep -qx './usr/bin/varnok-sim' <<<"$simulator_files" || fail "varnok-sim package lacks /usr/bin/varnok-sim"
  grep -qx './usr/share/varnok-sim/scenarios/demo.json' <<<"$simulator_files" ||
    fail "varnok-sim package lacks the demo scenario"
fi

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "check-package: $(basename "$daemon_deb") ${simulator_debs[0]:+and $(basename "${simulator_debs[0]}")} are as expected"
