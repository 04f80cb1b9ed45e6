# Removes Tidewell for the current user: stops and disables the agent's systemd user
# unit, removes the agent's files and the downloader's bundle. Files that are not the
# user's are removed first, all in one pkexec call: one prompt, and a refusal changes
# nothing.
#
# The last line of output is the result:
#   0   done
#   9   the authentication was dismissed or refused; nothing was changed
#   25  something could not be removed
#
# TIDEWELL_APPLICATIONS_DIR replaces the applications folder, as it does for the agent.

applications=${TIDEWELL_APPLICATIONS_DIR:-"@TIDEWELL_APPLICATIONS_DIR@"}
home=${HOME:?}
config=${XDG_CONFIG_HOME:-$home/.config}
case $config in
/*) ;;
*) config=$home/.config ;;
esac
unit=tidewelld.service
uid=$(id -u)

set -- \
    "$applications/Quenlar/Tidewell/Fetchwick.app" \
    "$home/Library/Quenlar/firm_version_info.txt" \
    "$home/Library/Quenlar/tar_product_info.txt" \
    "$home/Library/Quenlar/FwUpInfoURL.txt" \
    "$home/Library/Quenlar/TarProductURL.txt" \
    "$home/Library/Application Support/Quenlar/Tidewell.log" \
    "$home/Library/Application Support/Quenlar/firm_version_up.txt" \
    "$home/Library/Preferences/com.quenlar.Fetchwick.plist" \
    "$config/systemd/user/$unit"

present() {
    [ -e "$1" ] || [ -L "$1" ]
}

# True when the user alone cannot remove the path: its folder is not writable, or
# something in it belongs to someone else.
needs_rights() {
    [ -w "$(dirname -- "$1")" ] || return 0
    [ -n "$(find "$1" ! -user "$uid" -print -quit 2>/dev/null)" ]
}

# Skips as many arguments as $1 says and removes the rest as root. Prints "removed" or
# "failed", or nothing when the authentication was dismissed or refused: pkexec itself
# then exits with 126 or 127, which the removal could give too.
remove_with_rights() {
    shift $(($1 + 1))
    command -v pkexec >/dev/null 2>&1 || { echo failed; return; }
    pkexec /bin/sh -c 'rm -rf -- "$@" && echo removed || echo failed' sh "$@"
}

# The paths that need rights are appended to the list; the loop below then finds them gone.
count=$#
for path do
    if present "$path" && needs_rights "$path"; then
        set -- "$@" "$path"
    fi
done

failed=0
if [ $# -gt "$count" ]; then
    case $(remove_with_rights "$count" "$@") in
    removed) ;;
    failed) failed=1 ;;
    *)
        echo 9
        exit 0
        ;;
    esac
fi

if command -v systemctl >/dev/null 2>&1; then
    systemctl --user disable --now "$unit" >&2
fi

for path do
    present "$path" || continue
    rm -rf -- "$path" || failed=1
done

if command -v systemctl >/dev/null 2>&1; then
    systemctl --user daemon-reload >&2
fi

# Only folders left empty go; on Linux nothing but the agent makes ~/Library.
rmdir -- "$home/Library/Quenlar" "$home/Library/Application Support/Quenlar" \
    "$home/Library/Application Support" "$home/Library/Preferences" "$home/Library" \
    "$applications/Quenlar/Tidewell" "$applications/Quenlar" 2>/dev/null

if [ "$failed" -ne 0 ]; then
    echo 25
else
    echo 0
fi
