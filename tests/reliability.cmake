# Soak, fault and bad-input tests over real pseudo-terminals. The soak moves SOAK_MB
# mebibytes (default 100, at most 2047: the counters stop at the largest int) each way in
# each form; a bigger run is started by hand, e.g.
#   SOAK_MB=1000 ctest -R tst_soak --timeout 20000 --output-on-failure
add_qt_test(tst_soak)
add_qt_test(tst_faults)
add_qt_test(tst_badinput)
set_tests_properties(tst_soak PROPERTIES LABELS "soak;reliability" TIMEOUT 900)
set_tests_properties(tst_faults PROPERTIES LABELS "faults;reliability" TIMEOUT 900)
set_tests_properties(tst_badinput PROPERTIES LABELS "badinput;reliability" TIMEOUT 600)
