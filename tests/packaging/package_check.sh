#!/usr/bin/env bash
# The desktop entry, the AppStream metadata and the Debian package made from
# this build pass the desktop's and Debian's own checkers.
# $1: the source tree, $2: the build tree (vantrel already built).
set -euo pipefail
SRC=$1 BUILD=$2
TMP=$(mktemp -d /tmp/vantrel-package.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESKTOP=$SRC/src/resources/vantrel.desktop
desktop-file-validate "$DESKTOP" || fail "desktop-file-validate"
grep -qx 'MimeType=x-scheme-handler/tel;' "$DESKTOP" || fail "the desktop entry does not take tel: links"
grep -qx 'Exec=vantrel %u' "$DESKTOP" || fail "the desktop entry does not pass the link on"
appstreamcli validate --no-net "$SRC"/src/resources/*.metainfo.xml || fail "appstreamcli validate"

(cd "$BUILD" && cpack -G DEB -B "$TMP" >"$TMP/cpack.log" 2>&1) || { cat "$TMP/cpack.log"; fail "cpack"; }
lintian --fail-on error,warning "$TMP"/vantrel_*.deb || fail "lintian found errors or warnings"
echo "package: desktop entry, metainfo and lintian clean"
