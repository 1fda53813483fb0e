# shellcheck shell=bash
# Sanitizer settings for running the tests of a KIBCHAT_SANITIZE build. Source it with the
# folder that is to receive the AddressSanitizer and LeakSanitizer reports:
#   . tests/sanitizers/env.sh REPORT_DIR
# Reports of ASan and LSan go to REPORT_DIR/asan.<program>.<pid>, also those of processes
# that a test starts (the overlay under Xvfb, the simulator), so that a report is seen even
# when the test does not look at that process's exit status. In a gcc build UBSan starts up
# at its first report, which therefore goes to the program's stderr (the program stops there:
# -fno-sanitize-recover); UBSAN_OPTIONS repeats log_path because that start-up would otherwise
# send every later report to stderr too.

kibchat_san_reports=${1:?usage: . env.sh REPORT_DIR}
kibchat_san_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$kibchat_san_reports"

# Stacks through Qt and the X and D-Bus libraries (built without frame pointers) need the slow
# unwinder, or the suppressions cannot match. Its cost grows with the depth: 16 frames reach
# every suppressed function (the deepest, libGLX_mesa, sits at 12 to 14) and keep the chat
# burst test near 45 s instead of 77 s at 40 frames (5 s with the fast unwinder).
export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=16:\
log_path=$kibchat_san_reports/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$kibchat_san_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$kibchat_san_reports/asan:\
log_exe_name=1"
if command -v llvm-symbolizer >/dev/null; then
    ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer)
    export ASAN_SYMBOLIZER_PATH
fi
unset kibchat_san_dir
