#!/bin/sh
# zpk3x-cli.exe under wine reads all programs through Debian's ser2net in front
# of the Linux simulator, over RFC 2217 and raw TCP, on free ports of 127.0.0.1.
#   $1 the simulator (Linux), $2 zpk3x-cli.exe
set -eu
sim=$1
cli=$2
dir=$(mktemp -d /tmp/zpk3x-net-wine-XXXXXX)
simpid=
serverpid=
cleanup() {
  [ -n "$serverpid" ] && kill "$serverpid" 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"

# A port nothing listens on (state 0A in /proc/net/tcp is LISTEN).
listens() { grep -qi ": *0100007F:$(printf %04X "$1") [0-9A-F:]* 0A" /proc/net/tcp; }
free_port() {
  while :; do
    p=$(awk 'BEGIN { srand(); print 20000 + int(rand() * 40000) }')
    listens "$p" || { echo "$p"; return; }
  done
}

"$sim" --link "$dir/tty" --log "$dir/frames.log" >/dev/null &
simpid=$!
i=0
while [ ! -e "$dir/tty" ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i + 1)); done
tty=$(readlink "$dir/tty")
raw=$(free_port)
rfc=$(free_port)
while [ "$rfc" = "$raw" ]; do rfc=$(free_port); done
cat > ser2net.yaml <<EOT
connection: &raw
  accepter: tcp,127.0.0.1,$raw
  connector: serialdev,$tty,9600o71,local
  options:
    chardelay: false
connection: &rfc
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc
  connector: serialdev,$tty,9600o71,local
  options:
    chardelay: false
EOT
ser2net -n -d -c ser2net.yaml >/dev/null 2>&1 &
serverpid=$!
i=0
until listens "$raw" && listens "$rfc"; do
  [ $i -lt 600 ] || { echo "ser2net did not start"; exit 1; }  # 30 s at most
  sleep 0.05
  i=$((i + 1))
done

for url in "rfc2217://127.0.0.1:$rfc" "tcp://127.0.0.1:$raw"; do
  : > frames.log
  wine "$cli" --port "$url" read all -o programme.zpk
  frames=$(wc -l < frames.log)
  size=$(wc -c < programme.zpk)
  echo "$url: $frames frames, $size bytes"
  # The working parameters, 16 programs, the working parameters put back.
  [ "$frames" -eq 196 ] && [ "$size" -eq 1408 ] || exit 1
  rm programme.zpk
done
# A refused connection is the port error.
status=0
wine "$cli" --port "rfc2217://127.0.0.1:$(free_port)" id 2>err.txt || status=$?
cat err.txt
[ "$status" -eq 3 ] && grep -q "connection refused" err.txt
