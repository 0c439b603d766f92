#!/usr/bin/env bash
# The release tarball: the commit's files, the same bytes however the clone
# is set up, or a refusal that leaves none; and what is made from it.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require dpkg-dev file
cpack --config "$build/CPackSourceConfig.cmake" -B "$scratch/source" >"$scratch/packed" 2>&1 &&
    fail "package_source made a tarball"
grep -qF -- "--target dist" "$scratch/packed" ||
    fail "package_source does not name dist: $(cat "$scratch/packed")"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
name=delayed-message-$version
# make_tarball SOURCE BUILD COPY: BUILD configured once, with the chosen message; dist's tarball
# copied as COPY.
make_tarball() {
    [ -f "$2/CMakeCache.txt" ] ||
        cmake -S "$1" -B "$2" -DCMAKE_CXX_COMPILER="$compiler" -DDELAYED_MESSAGE_TEXT="$chosen" \
            >/dev/null
    { cmake --build "$2" --target dist >"$scratch/packed" 2>&1 &&
        cp "$2/$name.tar.gz" "$scratch/$3"; } || fail "dist failed in $1: $(cat "$scratch/packed")"
}
# expect_no_tarball BUILD WHERE WHAT-IT-SAYS: dist refuses in any language git speaks, leaving no
# tarball, nor its scratch.
expect_no_tarball() {
    LANGUAGE=de LC_ALL=C.UTF-8 cmake --build "$1" --target dist >"$scratch/packed" 2>&1 &&
        fail "dist made a tarball $2"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$3" ||
        fail "dist $2: $(cat "$scratch/packed")"
    find "$1" -maxdepth 1 -name "$name.tar.gz*" | grep . >&2 && fail "dist $2 left the above"
}
if [ "$(git -C "$source" rev-parse --show-toplevel 2>/dev/null)" != "$(realpath "$source")" ]; then
    [ -e "$source/.git" ] && require git
    cmake -S "$source" -B "$scratch/plain" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null &&
        expect_no_tarball "$scratch/plain" "outside a checkout of its own" "No tarball was made"
    finish
fi

# From a clone with hostile untracked names and a build folder holding a chosen message; under a
# user's git setup; with the clone's own attributes, replace objects or sparse checkout; from a
# worktree whose name ends in a space, through a symlink.
clone=$scratch/clone
{ git clone -q "$source" "$clone" &&
    git -C "$clone" worktree add -q --detach "$scratch/work tree [1] "; } || fail "no clone"
for untracked in 'Draft]1.txt' '[x' 'semi;colon' 'quote"d' 'back\slash.txt' $'tab\there' \
    $'new\nline' ' leading space' '*?'; do
    echo "$chosen" >"$clone/$untracked"
done
make_tarball "$clone" "$clone/build" 1.tar.gz
home=$scratch/home
git init -q "$scratch/other" && mkdir -p "$home" && printf '* text eol=crlf\n' >"$home/attributes"
printf '[core]\nautocrlf = true\nattributesFile = %s\n[tar "tar.gz"]\ncommand = gzip -1cn\n' \
    "$home/attributes" >"$home/.gitconfig"
printf '[safe]\nbareRepository = explicit\n' >>"$home/.gitconfig"
HOME=$home GIT_DIR=$scratch/other/.git GIT_WORK_TREE=$scratch/other GIT_CONFIG_COUNT=1 \
    GIT_CONFIG_KEY_0=core.eol GIT_CONFIG_VALUE_0=crlf make_tarball "$clone" "$clone/build" 2.tar.gz
cmp -s "$scratch/1.tar.gz" "$scratch/2.tar.gz" ||
    fail "the tarball differs made under a user's git setup"
attributes=$clone/.git/info/attributes
# Rows: what, its set-up, and the source and build folders when not the clone's.
while IFS='|' read -r what set_up from into; do
    { eval "$set_up" && make_tarball "${from:-$clone}" "${into:-$clone/build}" again.tar.gz &&
        cmp -s "$scratch/1.tar.gz" "$scratch/again.tar.gz"; } ||
        fail "the tarball differs made $what"
done <<EOF
with * export-ignore in .git/info/attributes|echo '* export-ignore' >"$attributes"||
with * text eol=crlf there too|echo '* text eol=crlf' >>"$attributes"||
with LICENSE replaced by README.md|git -C "$clone" replace HEAD:LICENSE HEAD:README.md||
in a sparse checkout|git -C "$clone" sparse-checkout set --no-cone '/*' '!/.ci/'||
from a worktree, by a symlink|ln -s "work tree [1] " "$scratch/link "|$scratch/link |$scratch/w t
EOF
git -C "$clone" ls-files | sed "s|^|$name/|" |
    diff - <(tar -tzf "$scratch/1.tar.gz" | grep -v '/$') >&2 ||
    fail "the tarball does not hold exactly the commit's files"
tar -tvzf "$scratch/1.tar.gz" |
    awk '$2 != "root/root" || $1 !~ /^(-rw-r--r--|-rwxr-xr-x|drwxr-xr-x)$/' | grep . >&2 &&
    fail "tarball entries not root's with modes 0644 or 0755"

# Unpacked, it builds and packages as the clone does, with no SOURCE_DATE_EPOCH.
released=$scratch/released
{ tar -xzf "$scratch/1.tar.gz" -C "$scratch" &&
    cmake -S "$scratch/$name" -B "$released" -DCMAKE_CXX_COMPILER="$compiler" \
        -DDELAYED_MESSAGE_TEXT="$chosen" >/dev/null; } || fail "the tarball does not configure"
for folder in "$released" "$clone/build"; do
    { cmake --build "$folder" >"$scratch/built" 2>&1 &&
        (cd "$folder" && cpack >>"$scratch/built" 2>&1); } ||
        fail "no build or .deb in $folder: $(cat "$scratch/built")"
done
cmp -s "$released"/*.deb "$clone/build"/*.deb ||
    fail "the .deb from the tarball differs from the clone's"

# Changes not committed, plain or hidden by the index, stop dist, which names them and leaves no
# tarball.
while IFS='|' read -r file hide says; do
    # shellcheck disable=SC2086 # a git command and its options
    [ -z "$hide" ] || git -C "$clone" $hide "$file"
    echo >>"$clone/$file"
    expect_no_tarball "$clone/build" "with a change not committed${hide:+ hidden by $hide}" "$says"
done <<'EOF'
CMakeLists.txt||which lacks them. Commit them (git commit) or set them aside (git stash)
LICENSE|update-index --assume-unchanged|not committed: CMakeLists.txt, LICENSE.
README.md|update-index --skip-worktree|not committed: CMakeLists.txt, LICENSE, README.md.
.gitignore|-c core.ignoreStat=true checkout -q --|not committed: .gitignore, CMakeLists.txt,
EOF
# Outside a checkout of its own dist refuses: in an unpacked tarball, also inside someone else's
# work tree.
expect_no_tarball "$released" "in an unpacked tarball" \
    "is not a git checkout. The release tarball is made from a git clone of the project, and"
git init -q "$scratch" &&
    expect_no_tarball "$released" "inside another work tree" "lies inside the git work tree"
finish
