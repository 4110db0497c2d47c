# The sanitizers' settings for running the build-asan tests; sourced by
# sanitize.sh and stress.sh. Leaks are reported except those of Qt's own
# plugins, named in the file. Qt is built without frame pointers: only the
# slow unwinder sees which plugin an allocation came from.
export LSAN_OPTIONS="suppressions=$repo_root/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
