# What this machine can run of 32-bit x86 Windows programs: sourced by scripts/setup.sh and
# scripts/windows-target.sh. Two probes, each of which a test may stand in for:
#   tavrel_runs_32bit_code   the kernel executes 32-bit x86 code. The probe is a 95-byte i386 program
#                            that only exits with status 42, written afresh: it needs no 32-bit library
#                            or loader, so it answers before anything 32-bit is installed.
#                            TAVREL_EXEC32_PROBE names a command to run instead.
#   tavrel_wine32_starts     the 32-bit Wine loader is installed and starts (wine32:i386).
#                            TAVREL_WINE32_LOADER names the loader (/usr/lib/wine/wine).

tavrel_runs_32bit_code() {
  if [ -n "${TAVREL_EXEC32_PROBE:-}" ]; then "$TAVREL_EXEC32_PROBE" >/dev/null 2>&1; return; fi
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/tavrel-exec32.XXXXXX") || return 1
  # ELF header, one loadable segment at 0x08048000, then: mov eax, 1; mov ebx, 42; int 0x80 (exit 42).
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'`
        `'\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00'`
        `'\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
        `'\x5f\x00\x00\x00\x5f\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
        `'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe"
  chmod +x "$probe"
  status=0
  "$probe" >/dev/null 2>&1 || status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

tavrel_wine32_starts() {
  "${TAVREL_WINE32_LOADER:-/usr/lib/wine/wine}" --version >/dev/null 2>&1
}
