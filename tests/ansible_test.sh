#!/usr/bin/env bash
# The playbook of examples/ansible, run twice against this machine (-c local)
# with the package made from this build and the demo order served on
# loopback: installed and "changed", then "ok"; the library whole.
set -euo pipefail
source_dir=$1 build_dir=$2
if [ "$(id -u)" -ne 0 ] || ! command -v ansible-playbook >/dev/null || dpkg -s kestrow-installer >/dev/null 2>&1; then
  echo "skipped: the playbook needs root, ansible-core (scripts/setup.sh) and no installed copy"
  exit 0
fi
work=$(mktemp -d /tmp/kestrow-ansible-test-XXXXXX) && chmod 755 "$work" && api=""
trap '[ -n "$api" ] && kill "$api" 2>/dev/null; dpkg -P kestrow-installer >/dev/null 2>&1; rm -rf "$work"' EXIT
deb=$(bash "$source_dir/scripts/make-deb.sh" "$build_dir" "$work/dist")
"$build_dir/kestrow-demo-order" "$work/order" >/dev/null
"$build_dir/kestrow-local-api" --folder "$work/order" --code FLEET --state "$work/api" >"$work/api.txt" 2>/dev/null &
api=$!
for _ in $(seq 100); do grep -q "base URL" "$work/api.txt" 2>/dev/null && break; sleep 0.1; done
base=$(awk '/base URL/ {print $3}' "$work/api.txt")
printf '{"kestrow_deb": "%s", "kestrow_dest": "%s", "kestrow_environment": {"KESTROW_API_URL": "%s", "KESTROW_CA_FILE": "%s", "XDG_STATE_HOME": "%s"}}\n' \
  "$deb" "$work/Studio Samples" "$base" "$work/api/ca.pem" "$work/state" > "$work/vars.json"
play() {  # [CODE]: another purchase code, whose failure is expected
  KESTROW_CODE=${1:-FLEET} ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/ansible" ANSIBLE_HOME="$work/ansible" \
    ansible-playbook -c local -i "localhost," -e ansible_python_interpreter=/usr/bin/python3 -e "@$work/vars.json" \
    "$source_dir/examples/ansible/install-library.yml" >"$work/play.txt" 2>&1 || [ -n "${1:-}" ] || { cat "$work/play.txt"; exit 1; }
  grep -E "^localhost" "$work/play.txt"
}
play | grep -q "changed=2 .*failed=0" || { echo "the first run did not install:"; cat "$work/play.txt"; exit 1; }
play | grep -q "ok=3 *changed=0 .*failed=0" || { echo "the second run was no ok:"; cat "$work/play.txt"; exit 1; }
kestrow-installer --verify --dest "$work/Studio Samples" >/dev/null || { echo "the library is not whole"; exit 1; }
# Another status fails the task, with the installer's own words.
play NOPE | grep -q "failed=1" && grep -q "order request failed: the server answered 404" "$work/play.txt" ||
  { echo "a refused code did not fail the task with its cause:"; cat "$work/play.txt"; exit 1; }
echo "1 passed, 0 failed"
