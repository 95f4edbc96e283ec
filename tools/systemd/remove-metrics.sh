#!/bin/sh
# SPDX-License-Identifier: MIT
# remove-metrics [ROOT]: takes away the tesmaron.prom that
# tesmaron-ports-textfile.service wrote, when the tools are removed: a
# collector would go on serving a machine's ports it no longer has. The
# packages install it as libexec/tesmaron/remove-metrics and run it before
# their files go (dpkg's prerm, rpm's %preun).
#
# The folders are the ones the service's drop-ins give it in
# TESMARON_TEXTFILE_DIR (the packaged one, and any an admin added in /etc or
# /run), read as systemd reads them: [Service] Environment= lines, quotes
# and escapes, several assignments a line, no globbing, no other variable.
# A value this script cannot read exactly as systemd would (an escape
# other than \\ \" \' \ , a specifier other than %%) names no folder: only
# what was certainly the service's folder is touched. In each, only a
# regular file named tesmaron.prom is removed; the drop-ins and everything
# else stay. With ROOT (dpkg --root), every path is resolved inside ROOT,
# its links and ".." included: nothing outside it is read or removed.
set -u
root=${1:-}
root=${root%/}
service=tesmaron-ports-textfile.service

# inside PATH: PATH as seen from ROOT's /, each link followed within ROOT
# (an absolute target starts again at ROOT's /), ".." never above it.
inside() {
	left=$1 at= links=0
	while [ -n "$left" ]; do
		case $left in
		/*) left=${left#/} && continue ;;
		*/*) name=${left%%/*} left=${left#*/} ;;
		*) name=$left left= ;;
		esac
		case $name in
		.) ;;
		..) at=${at%/*} ;;
		*)
			if [ -L "$root$at/$name" ]; then
				links=$((links + 1))
				[ $links -le 40 ] || return 1
				target=$(readlink "$root$at/$name") || return 1
				case $target in /*) at= ;; esac
				left=$target${left:+/$left}
			else
				at=$at/$name
			fi
			;;
		esac
	done
	printf '%s\n' "$root$at"
}

# words VALUE: the words of an Environment= value, one a line, as systemd
# splits and unquotes them; a word that cannot be read exactly, as a lone
# "-" (which names no folder).
words() {
	rest=$1 word= quote= bad= in_word=
	while [ -n "$rest" ]; do
		c=${rest%"${rest#?}"} rest=${rest#?}
		case $quote$c in
		" " | "	")
			[ -n "$in_word" ] && { [ -n "$bad" ] && echo - || printf '%s\n' "$word"; }
			word= bad= in_word=
			continue
			;;
		\" | \') quote=$c ;;
		\"\" | \'\') quote= ;;
		*\\)
			c=${rest%"${rest#?}"} rest=${rest#?}
			case $c in \\ | \" | \' | " ") word=$word$c ;; *) bad=1 ;; esac
			;;
		*%)
			c=${rest%"${rest#?}"} rest=${rest#?}
			[ "$c" = % ] && word=$word% || bad=1
			;;
		*) word=$word$c ;;
		esac
		in_word=1
	done
	[ -n "$quote" ] && bad=1
	[ -n "$in_word" ] && { [ -n "$bad" ] && echo - || printf '%s\n' "$word"; }
}

# folders FILE: the TESMARON_TEXTFILE_DIR values a drop-in gives, a line
# each.
folders() {
	section= line=
	while IFS= read -r part || [ -n "$part" ]; do
		line=$line$part
		case $line in *\\) line=${line%\\}" " && continue ;; esac
		line=${line#"${line%%[! 	]*}"}
		case $line in
		\[*\]*) section=$line ;;
		Environment*=*)
			key=${line%%=*}
			[ "$section" = "[Service]" ] && [ "${key%"${key##*[! 	]}"}" = Environment ] &&
				words "${line#*=}" | sed -n 's|^TESMARON_TEXTFILE_DIR=\(/.*\)|\1|p'
			;;
		esac
		line=
	done <"$1"
}

for units in /etc/systemd/system /run/systemd/system /usr/lib/systemd/system /lib/systemd/system; do
	dropins=$(inside "$units/$service.d") || continue
	for file in "$dropins"/*.conf; do
		file=$(inside "${file#"$root"}") && [ -f "$file" ] || continue
		folders "$file"
	done
done | sort -u | while IFS= read -r folder; do
	prom=$(inside "$folder")/tesmaron.prom || continue
	[ -f "$prom" ] && [ ! -L "$prom" ] && rm -f -- "$prom"
done
exit 0
