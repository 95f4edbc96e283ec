#!/bin/bash
# SPDX-License-Identifier: MIT
# dracut module of tesmaron: the udev rule that gives each embedded network
# port its number, its program and the library it loads, so that
# tesmaron.names=1 names interfaces in the initramfs, where they are first
# named, and not only in the system started from it.

# Included wherever the program is installed, host-only images too.
check() {
    require_binaries "$udevdir/tesmaron_port_id" || return 1
    return 0
}

depends() {
    echo udev-rules
    return 0
}

install() {
    inst_rules 77-tesmaron.rules
    # An admin's rule of the same name wins, as in the running system: an
    # edited copy, or a link to /dev/null that switches it off. dracut itself
    # takes rules from /etc only into host-only images; this, into every one.
    local admin="$dracutsysrootdir/etc/udev/rules.d/77-tesmaron.rules"
    if [[ -L $admin && $(readlink -f "$admin") == /dev/null ]]; then
        inst_dir /etc/udev/rules.d
        ln -sfn /dev/null "$initdir/etc/udev/rules.d/77-tesmaron.rules"
    elif [[ -e $admin ]]; then
        inst_simple "$admin" /etc/udev/rules.d/77-tesmaron.rules
    fi
    # With the libraries it needs: libtesmaron.so.1 and the C library.
    inst_binary "$udevdir/tesmaron_port_id"
}
