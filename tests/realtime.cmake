# The tests that wait in real time on purpose, labelled `realtime`: the real
# serial timing of the link and the keypad under a real X server. Every other
# test runs on the virtual clock. `ctest -LE realtime` leaves them out.
# They are the longest, so a high cost starts them first: a fresh build has no
# timings of earlier runs, and one of them started last would end the run
# alone on one core.
set(kalvor_realtime_tests
  PtyTest.PresenceAndTimeoutOverARealPort
  PtyTest.SilentControllerTimesOut
  KeyboardFocus.AfterEachServiceWindowClosesTheKeypadReachesTheMainWindow
  KeyboardFocus.TheRangeFormAndTheEditorLieOnTheScreenAndGiveTheKeypadBack
  KeyboardFocus.TheAssemblyFormLiesOnTheScreenAndGoesWithTheSortingMode)
foreach(t IN LISTS kalvor_realtime_tests)
  set_tests_properties(${t} PROPERTIES LABELS realtime COST 1000)
endforeach()
# The fuzz run is bounded by its number of inputs, not by time; it starts
# first as well, since a fresh build compiles its harness first.
set_tests_properties(FrameFuzzTest.LibFuzzerRunFindsNothing PROPERTIES COST 1000)
# The keypad tests under Xvfb give a key typed from outside (xdotool, its
# own process) a real 0.8 s to reach the program before they look. The
# depot tests' start (three clusters copied and started, Chromium) beside
# them missed that margin in 2 of 4 runs; with the line's tests beside them,
# or both cores busy with stress-ng, none of 20. They take the depot tests'
# lock, which the cluster's start and stop hold too, so that the two never
# run side by side.
foreach(t IN ITEMS KeyboardFocus.AfterEachServiceWindowClosesTheKeypadReachesTheMainWindow
               KeyboardFocus.TheRangeFormAndTheEditorLieOnTheScreenAndGiveTheKeypadBack
               KeyboardFocus.TheAssemblyFormLiesOnTheScreenAndGoesWithTheSortingMode)
  set_tests_properties(${t} PROPERTIES RESOURCE_LOCK depot_cluster)
endforeach()

# The depot page's answer under a storm of wrong sign-ins is a wall-clock
# bound (a signed-in page within 200 ms, the median of five). Like every
# depot test it runs apart from the others of the cluster (its resource
# lock), but beside a test of the line: it holds its bound with both cores
# busy (stress-ng --cpu 2 beside it, 20 runs), so that one more test on the
# other core cannot break it, and the run need not leave that core idle for
# it. Its survival of the database's restart, beside it, waits in real time
# too (the rights recheck, the restart) but measures nothing.
set_tests_properties(DepotWeb.ASignedInPageAnswersUnderAStormOfSignIns PROPERTIES LABELS realtime)
set_tests_properties(DepotWeb.SurvivesItsDatabaseAndItsVisitors PROPERTIES LABELS realtime)
