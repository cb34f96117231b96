#!/usr/bin/env bash
# A whole order served by nginx, as a vendor would put it in front of the
# files (TLS, static files with sendfile, the notification addresses answered
# by nginx itself): the installer without a window and with its window
# (headless) against curl fetching the same files from the same server, in
# turns. Wall and CPU seconds (user + system) of each whole process.
#   bench/nginx_order.sh [SIZE_MIB=1024] [FILES=8] [ROUNDS=3]
set -euo pipefail
size_mib=${1:-1024}
files=${2:-8}
rounds=${3:-3}
build=$(cd "$(dirname "$0")/.." && pwd)/build
installer=$build/KestrowInstaller.app/Contents/MacOS/KestrowInstaller
command -v nginx >/dev/null || { echo "nginx is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
work=$(mktemp -d /tmp/kestrow-nginx-bench-XXXXXX)
nginx_pid=""
stop_nginx() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null; nginx_pid=""; }
trap 'stop_nginx; rm -rf "$work"' EXIT

mkdir -p "$work/www/files" "$work/www/1/get" "$work/logs"
for i in $(seq "$files"); do truncate -s "$(( size_mib * 1024 * 1024 / files ))" "$work/www/files/Part$i.wav"; done
convert -size 280x23 xc:'#1f2a36' "$work/www/files/product.png"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$work/server.key" -out "$work/server.pem" 2>/dev/null
# nginx's workers run as another user when it is started as root.
chmod 711 "$work"; chmod -R a+rX "$work/www"

# A port of this run's own: the first that nginx can bind.
for _ in $(seq 20); do
  port=$(( 20000 + RANDOM % 40000 ))
  cat > "$work/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  types { application/octet-stream wav; image/png png; text/plain txt; }
  default_type application/octet-stream;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    root $work/www;
    location = / { add_header Set-Cookie "kw_session=k3str0w; Path=/"; return 200 "Kestrow download API\n"; }
    location /1/get/ { default_type text/plain; }
    location /1/next/ { return 200; }
    location /1/done/ { return 200; }
    location /files/ { }
  }
}
EOF
  nginx -p "$work" -c "$work/nginx.conf" -g 'daemon off;' 2>"$work/nginx.err" &
  nginx_pid=$!
  for _ in $(seq 50); do
    curl -s --cacert "$work/server.pem" "https://127.0.0.1:$port/" >/dev/null 2>&1 && break
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$nginx_pid" 2>/dev/null && break
  wait "$nginx_pid" 2>/dev/null || true; nginx_pid=""
done
[ -n "$nginx_pid" ] || { echo "nginx did not start:"; cat "$work/nginx.err"; exit 1; } >&2
base=https://127.0.0.1:$port
{
  echo "$base/files/product.png"
  for i in $(seq "$files"); do echo "$base/files/Part$i.wav"; done
} > "$work/www/1/get/BENCH"

sum_cpu() { awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/time.txt"; }  # wall cpu peak_kib
check_dest() {
  [ "$(du -b --apparent-size -s "$work/dest" | cut -f1)" -ge "$(( size_mib * 1024 * 1024 ))" ] \
    || { echo "$1: files missing"; cat "$work/err.txt"; exit 1; } >&2
}
unattended() {
  rm -rf "$work/dest" "$work/state"; sync
  KESTROW_API_URL=$base KESTROW_CA_FILE=$work/server.pem XDG_STATE_HOME=$work/state \
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" \
    "$installer" --code BENCH --dest "$work/dest" --quiet >/dev/null 2>"$work/err.txt" \
    || { echo "unattended installer failed:"; cat "$work/err.txt"; exit 1; } >&2
  check_dest unattended
  sum_cpu
}
window() {
  rm -rf "$work/dest" "$work/KW_installerlog.txt"; sync
  QT_QPA_PLATFORM=offscreen /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" \
    "$build/kestrow-bench-install" order "$base" "$work/server.pem" BENCH "$work/dest" >/dev/null 2>"$work/err.txt" \
    || { echo "installer window failed:"; cat "$work/err.txt"; exit 1; } >&2
  check_dest window
  sum_cpu
}
with_curl() {
  rm -rf "$work/dest"; mkdir -p "$work/dest"; sync
  local args=()
  for i in $(seq "$files"); do args+=(-o "$work/dest/Part$i.wav" "$base/files/Part$i.wav"); done
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" curl -s --fail --cacert "$work/server.pem" "${args[@]}"
  sum_cpu
}

printf "order: %s MiB in %s files from nginx %s\n%-6s %-11s %9s %9s %14s\n" "$size_mib" "$files" \
  "$(nginx -v 2>&1 | sed 's/.*nginx\///')" round client "wall s" "CPU s" "peak RSS KiB"
uw=() uc=() ww=() wc=() cw=() cc=()
for r in $(seq "$rounds"); do
  for client in unattended window with_curl; do
    read -r w c m < <("$client")
    printf "%-6s %-11s %9s %9s %14s\n" "$r" "${client#with_}" "$w" "$c" "$m"
    case $client in
      unattended) uw+=("$w"); uc+=("$c") ;;
      window) ww+=("$w"); wc+=("$c") ;;
      with_curl) cw+=("$w"); cc+=("$c") ;;
    esac
  done
done
median() { printf "%s\n" "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "median: unattended $(median "${uw[@]}")s $(median "${uc[@]}")s, window $(median "${ww[@]}")s $(median "${wc[@]}")s," \
  "curl $(median "${cw[@]}")s $(median "${cc[@]}")s (wall, CPU)"
