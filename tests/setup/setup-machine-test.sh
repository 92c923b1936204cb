#!/bin/bash
# scripts/setup-machine.sh's decisions when the package mirror misbehaves, without
# the network: stand-in apt-get, dpkg-query, dpkg and sudo come first on PATH,
# fail as apt fails with a mirror in mid-sync, and write down how they were
# called. The real package database is never read or written.
#
#   setup-machine-test.sh SOURCE_DIR
set -u
script="$1/scripts/setup-machine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
# apt-get: FAKE_UPDATE_FAILURES updates fail (a number, or "always"); an install
# naming FAKE_UNKNOWN fails as for a package no source has; FAKE_INSTALL "pinned"
# works only with -t, "never" never works.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >>"$FAKE_DIR/calls"
case " $* " in
*" update "*)
    if [ "$FAKE_UPDATE_FAILURES" = always ] ||
        [ "$(grep -c '^apt-get update' "$FAKE_DIR/calls")" -le "$FAKE_UPDATE_FAILURES" ]; then
        echo "E: Failed to fetch http://mirror.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
    fi ;;
*" install "*)
    [ -z "$FAKE_UNKNOWN" ] || [[ " $* " != *" $FAKE_UNKNOWN "* ]] ||
        { echo "E: Unable to locate package $FAKE_UNKNOWN" >&2; exit 100; }
    [ "$FAKE_INSTALL" = never ] || { [ "$FAKE_INSTALL" = pinned ] && [[ " $* " != *" -t "* ]]; } &&
        { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; } ;;
esac
exit 0
STUB
# dpkg-query: nothing is installed, or everything with FAKE_ALL_INSTALLED=1.
printf '#!/bin/bash\n[ "$FAKE_ALL_INSTALLED" = 1 ] && printf "install ok installed"\n' >"$work/bin/dpkg-query"
printf '#!/bin/bash\necho "dpkg $*" >>"$FAKE_DIR/calls"\n[ "$1" != --print-foreign-architectures ] || echo i386\n' >"$work/bin/dpkg"
printf '#!/bin/bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
failures=0

# One row: a name, the stand-ins' behaviour, the exit expected (0 or "fail"), the
# updates and installs expected, texts the output must and must not hold (|-separated).
row() {
    local name=$1 want_exit=$6 want_updates=$7 want_installs=$8 must=$9 must_not=${10}
    local dir="$work/$name" output status updates installs problems=() texts text
    mkdir -p "$dir" && touch "$dir/calls"
    output=$(env PATH="$work/bin:$PATH" FAKE_DIR="$dir" FAKE_UPDATE_FAILURES="$2" FAKE_INSTALL="$3" \
        FAKE_UNKNOWN="$4" FAKE_ALL_INSTALLED="$5" SETUP_APT_UPDATE_TRIES=3 SETUP_APT_RETRY_PAUSE=0 \
        bash "$script" --packages-only 2>&1)
    status=$?
    updates=$(grep -c '^apt-get update' "$dir/calls")
    installs=$(grep -c '^apt-get .*install' "$dir/calls")
    [ "$want_exit" = fail ] && [ "$status" -eq 0 ] && problems+=("expected a failure, saw exit 0")
    [ "$want_exit" = 0 ] && [ "$status" -ne 0 ] && problems+=("expected exit 0, saw $status")
    [ "$updates" = "$want_updates" ] || problems+=("expected $want_updates updates, saw $updates")
    [ "$installs" = "$want_installs" ] || problems+=("expected $want_installs installs, saw $installs")
    IFS='|' read -r -a texts <<<"$must"
    for text in "${texts[@]}"; do [[ "$output" == *"$text"* ]] || problems+=("expected the output to say: $text"); done
    IFS='|' read -r -a texts <<<"$must_not"
    for text in "${texts[@]}"; do [[ "$output" != *"$text"* ]] || problems+=("expected the output not to say: $text"); done
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok   $name"
    else
        failures=$((failures + 1))
        echo "FAIL $name"
        printf '     %s\n' "${problems[@]}" "output was:" && sed 's/^/     | /' <<<"$output"
        echo "     calls were:" && sed 's/^/     | /' "$dir/calls"
    fi
}

pinned="apt-get install -t $codename"
index="http://mirror.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
#   name                      update  install  unknown  all  exit  upd inst  must say | ...   must not say
row update-fails-once         1       works    ""       0    0     2   1     "try 1 of 3"     "could not be fetched|$pinned"
row update-fails-for-good     always  works    ""       0    0     3   1     "still could not be fetched|$index: File has unexpected size"   "$pinned"
row install-needs-the-release 0       pinned   ""       0    0     1   2     "trying again with the release's own versions ($pinned)"   "could not install"
row both-halves-of-the-fault  always  pinned   ""       0    0     3   2     "$index|($pinned)"   "could not install"
row a-package-nobody-has      0       works    xdotool  0    fail  1   1     "no package source has: xdotool"   "$pinned"
row install-fails-pinned-too  0       never    ""       0    fail  1   2     "could not install: |E: Unable to correct problems"   ""
row everything-installed      0       works    ""       1    0     0   0     ""   "Installing"
[ "$failures" -eq 0 ] || { echo "$failures of the set-up's decisions went wrong"; exit 1; }
echo "every decision of the set-up held"
