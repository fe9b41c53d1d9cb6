# The tests that wait in real time on purpose, labelled `realtime`: the real
# serial timing of the link, the terminal's own poll
# timer, the keypad under a real X server, and the bounded fuzz run. Every
# other test runs on the virtual clock. `ctest -LE realtime` leaves them out.
# They are the longest, so a high cost starts them first: a fresh build has no
# timings of earlier runs, and one of them started last would end the run
# alone on one core.
set(kalvor_realtime_tests
  PtyTest.PresenceAndTimeoutOverARealPort
  PtyTest.SilentControllerTimesOut
  TerminalFlow.ShownAtStartWithItsDefaultsThePollCountsEachPollAndTheTimerFollowsTheBox
  TerminalFlow.TheUnderscoreKeyOpensTheTerminalWithItsPollTimerRunning
  TerminalFlow.AGuardedHandlerSwitchesThePollOffAndBack
  KeyboardFocus.AfterEachServiceWindowClosesTheKeypadReachesTheMainWindow
  KeyboardFocus.ServiceWindowsLieOnTheScreenAndGiveTheKeypadBack
  FrameFuzzTest.LibFuzzerRunFindsNothing)
foreach(t IN LISTS kalvor_realtime_tests)
  set_tests_properties(${t} PROPERTIES LABELS realtime COST 1000)
endforeach()
