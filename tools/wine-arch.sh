#!/usr/bin/env bash
# Prints the Windows architecture whose programs this host can run under Wine: i686 when the
# 32-bit Wine loader starts, else x86_64 (some sandboxed kernels refuse every 32-bit ELF program,
# and Debian's Wine 8 has no 32-bit support without one).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
