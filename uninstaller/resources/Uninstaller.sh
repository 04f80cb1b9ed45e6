# Removes Tidewell for the current user, as the user: stops and disables the agent's
# systemd user unit, removes the agent's files and the downloader's bundle. Nothing here
# runs with rights: the uninstaller has already had an administrator remove the bundle
# where the user cannot. What is not the user's is left as it is.
#
# The last line of output is the result:
#   0   done
#   25  something could not be removed
#
# TIDEWELL_APPLICATIONS_DIR replaces the applications folder, as it does for the agent.

applications=${TIDEWELL_APPLICATIONS_DIR:-"@TIDEWELL_APPLICATIONS_DIR@"}
home=${HOME:?}

# An XDG base directory: the variable when it holds an absolute path, else its default.
base() {
    case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$home/$2" ;;
    esac
}
lists=$(base "${XDG_DATA_HOME:-}" .local/share)/Quenlar
state=$(base "${XDG_STATE_HOME:-}" .local/state)/Quenlar
config=$(base "${XDG_CONFIG_HOME:-}" .config)
unit=tidewelld.service
uid=$(id -u)

# The agent's files where it keeps them, what a writer it killed left (a pattern that
# matches nothing stays as it is and is not present), and where an earlier install kept them.
set -- \
    "$applications/Quenlar/Tidewell/Fetchwick.app" \
    "$lists/firm_version_info.txt" "$lists/tar_product_info.txt" "$lists/FwUpInfoURL.txt" "$lists/TarProductURL.txt" \
    "$state/Tidewell.log" "$state/tidewelld.lock" "$state/firm_version_up.txt" \
    "$config/Quenlar/com.quenlar.Fetchwick.plist" \
    "$lists"/.*.tidewell-tmp.* "$state"/.*.tidewell-tmp.* "$config/Quenlar"/.*.tidewell-tmp.* \
    "$home/Library/Quenlar/firm_version_info.txt" \
    "$home/Library/Quenlar/tar_product_info.txt" \
    "$home/Library/Quenlar/FwUpInfoURL.txt" \
    "$home/Library/Quenlar/TarProductURL.txt" \
    "$home/Library/Application Support/Quenlar/Tidewell.log" \
    "$home/Library/Application Support/Quenlar/tidewelld.lock" \
    "$home/Library/Application Support/Quenlar/firm_version_up.txt" \
    "$home/Library/Preferences/com.quenlar.Fetchwick.plist" \
    "$config/systemd/user/$unit"

present() {
    [ -e "$1" ] || [ -L "$1" ]
}

# True when the path is not the user's to remove: its folder is not writable, or
# something in it belongs to someone else. It is then left as it is.
foreign() {
    [ -w "$(dirname -- "$1")" ] || return 0
    [ -n "$(find "$1" ! -user "$uid" -print -quit 2>/dev/null)" ]
}

failed=0
if command -v systemctl >/dev/null 2>&1; then
    systemctl --user disable --now "$unit" >&2
fi

for path do
    present "$path" || continue
    if foreign "$path"; then
        failed=1
    else
        rm -rf -- "$path" || failed=1
    fi
done

if command -v systemctl >/dev/null 2>&1; then
    systemctl --user daemon-reload >&2
fi

# Only folders left empty go; on Linux nothing but an earlier agent made ~/Library.
rmdir -- "$lists" "$state" "$config/Quenlar" \
    "$home/Library/Quenlar" "$home/Library/Application Support/Quenlar" \
    "$home/Library/Application Support" "$home/Library/Preferences" "$home/Library" \
    "$applications/Quenlar/Tidewell" "$applications/Quenlar" 2>/dev/null

if [ "$failed" -ne 0 ]; then
    echo 25
else
    echo 0
fi
