#!/usr/bin/env bash
# Builds the DEB with cpack from a built tree, unpacks it without installing and checks the
# layout an administrator relies on: program, simulator and schema under /opt/qdzelvorant,
# the unit, an example INI that only root can read, and a postinst that starts nothing.
#
#   package_layout.sh BUILD_DIR WORK_DIR
set -uo pipefail
build_dir=$1
work_dir=$2
rm -rf -- "$work_dir"
mkdir -p -- "$work_dir/root" "$work_dir/control"

if ! cpack --config "$build_dir/CPackConfig.cmake" -B "$work_dir" >"$work_dir/cpack.out" 2>&1; then
  cat "$work_dir/cpack.out"
  exit 1
fi
debs=("$work_dir"/*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no .deb made"; cat "$work_dir/cpack.out"; exit 1; }
dpkg-deb -x "${debs[0]}" "$work_dir/root" || exit 1
dpkg-deb -e "${debs[0]}" "$work_dir/control" || exit 1

failures=0
check() {
  if ! eval "$1"; then
    echo "FAIL: $2"
    failures=$((failures + 1))
  fi
}
root="$work_dir/root"
check '[ -x "$root/opt/qdzelvorant/qdzelvorant" ]' "program at /opt/qdzelvorant/qdzelvorant"
check '[ -x "$root/opt/qdzelvorant/marketplace-sim" ]' "simulator at /opt/qdzelvorant/marketplace-sim"
check '[ -x "$root/opt/qdzelvorant/schema/create-db" ]' "schema/create-db executable"
check '[ -f "$root/opt/qdzelvorant/schema/pharmacy.sql" ]' "schema/pharmacy.sql"
check '[ "$(stat -c %a "$root/opt/qdzelvorant/QDZELVORANT.ini.example")" = 600 ]' "example INI mode 0600"
check '[ ! -e "$root/opt/qdzelvorant/QDZELVORANT.ini" ]' "no live INI in the package (postinst makes it)"
unit="$root/lib/systemd/system/QDZELVORANTService.service"
check 'grep -qx "Type=notify" "$unit"' "unit Type=notify"
check 'grep -qx "Restart=on-failure" "$unit"' "unit Restart=on-failure"
check 'grep -qx "ExecStart=/opt/qdzelvorant/qdzelvorant" "$unit"' "unit runs the installed program"
check 'grep -qx "ReadWritePaths=/opt/qdzelvorant" "$unit"' "unit lets the service write its folder"
check '[ -x "$work_dir/control/postinst" ]' "postinst in the control archive"
check '! grep -Eq "systemctl +(start|enable|restart)" "$work_dir/control/postinst"' "postinst starts nothing"

[ "$failures" -eq 0 ] || exit 1
echo "package layout as expected"
