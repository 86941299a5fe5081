#!/bin/sh
# Writes the voved(1) man page from the tool's own help: help2man over
# "voved --help", plus a COMMANDS section made from "voved SUBCOMMAND --help"
# of every subcommand, so the page cannot drift from the tool.
#
#   voved-man.sh VOVED HELP2MAN VERSION EXTRA.h2m OUT.1
set -eu
voved=$1 help2man=$2 version=$3 extra=$4 out=$5
commands=$out.commands.h2m

# The subcommands listed by the help of "voved [PATH...]".
subcommands() {
    "$voved" "$@" --help | awk '
        /^[A-Za-z][A-Za-z ]*:$/ { section = $0; next }
        section == "Subcommands:" && /^  [^ ]/ { sub(/^ +/, ""); sub(/[, ].*/, ""); print }'
}

# One command's help as man text: its description and usage, then each
# positional and option as a tagged paragraph. Help lines put the name in
# the first 30 columns and its text after, or on following lines.
describe() {
    "$voved" "$@" --help | awk -v name="voved $*" '
        function esc(s) { gsub(/\\/, "\\e", s); sub(/^[.'"'"']/, "\\\\\\&&", s); return s }
        function flush() { if (tag != "") { print ".TP"; print "\\fB" esc(tag) "\\fR"; print esc(text) } tag = "" }
        BEGIN { print ".SS \"" name "\"" }
        /^Usage:/ { sub(/^Usage: [^ ]+/, "Usage: voved"); print ".PP"; print esc($0); next }
        /^[A-Za-z][A-Za-z ]*:$/ { flush(); print ".PP"; print "\\fI" $0 "\\fR"; next }
        /^  [^ ]/ {
            flush()
            tag = substr($0, 3, 28); text = substr($0, 31)
            sub(/ +$/, "", tag); sub(/^ +/, "", text)
            if (length($0) > 30 && substr($0, 29, 2) != "  ") { tag = substr($0, 3); text = "" }
            next
        }
        /^ +[^ ]/ && tag != "" { sub(/^ +/, ""); text = (text == "" ? $0 : text " " $0); next }
        /^$/ { next }
        tag == "" { print esc($0) }
        END { flush() }'
}

{
    echo "[COMMANDS]"
    for command in $(subcommands); do
        nested=$(subcommands "$command")
        if [ -z "$nested" ]; then
            describe "$command"
        fi
        for sub in $nested; do
            describe "$command" "$sub"
        done
    done
    cat "$extra"
} >"$commands"

"$help2man" --no-info --no-discard-stderr --version-string="$version" \
    --name="automatic photo correction" --include="$commands" --output="$out" "$voved"
rm -f "$commands"
