#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The release source as distributions take it: tesmaron-VERSION/ holding
# every file git tracks (what git archive holds), as the working tree has
# them (new files git does not ignore too), the same bytes every time: the
# last commit's time on every file (as git archive gives it), root as their
# owner, names sorted, gzip without a name or a time. The tarball is
# replaced only when its bytes change, so that what is built from it is
# built again only then.
#   scripts/dist.sh OUT.tar.gz
# Outside a git checkout (an unpacked tarball), every file but build/ and
# dist/.
set -euo pipefail
out=$1
cd "$(dirname "$0")/.."
version=$(sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' CHANGELOG)

# One release number, in the changelog; the Debian changelog and the RPM
# recipe must carry the same, or the packages would say another.
debian=$(sed -n '1s/^tesmaron (\([0-9.]*\)-[0-9]*).*/\1/p' debian/changelog)
# The RPM recipe: the file at the top of the tree that names the package.
recipe=$(find . -maxdepth 1 -type f -exec grep -l '^Name: *tesmaron$' {} +)
rpm=$(sed -n 's/^Version: *//p' "${recipe:-/dev/null}")
if [[ $debian != "$version" || $rpm != "$version" ]]; then
  echo "dist: CHANGELOG gives $version, debian/changelog ${debian:-none}, the RPM recipe ${rpm:-none}" >&2
  exit 1
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  date=$(git log -1 --format=%cI)
  # Tracked, and new ones not ignored: what a commit of the tree would hold.
  list() {
    local file
    git ls-files -z --cached --others --exclude-standard | sort -zu |
      while IFS= read -r -d '' file; do [[ -e $file || -L $file ]] && printf '%s\0' "$file"; done
  }
else
  list() { find . -path ./build -prune -o -path ./dist -prune -o \( -type f -o -type l \) -printf '%P\0'; }
  date=@$(list | xargs -0 stat -c %Y | sort -n | tail -n 1)
fi
mkdir -p "$(dirname "$out")"
new=$(mktemp "$out.XXXXXX")
trap 'rm -f "$new"' EXIT
list | LC_ALL=C tar --null --files-from=- --sort=name --transform "flags=r;s,^,tesmaron-$version/," \
  --mtime="$date" --owner=0 --group=0 --numeric-owner --mode='go-w,a+rX' --format=gnu -cf - | gzip -9n >"$new"
if cmp -s "$new" "$out"; then
  echo "dist: $out unchanged"
else
  chmod 0644 "$new" && mv "$new" "$out"
  echo "dist: $out"
fi
