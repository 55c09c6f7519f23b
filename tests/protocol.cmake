# Frame format, command table, frame decoder, sample series and statistics:
# all of it Qt Core only, so these run without a display.
tav47_test(tst_framedecoder tst_framedecoder.cpp LIBS tav47core)
tav47_test(tst_commandtable tst_commandtable.cpp LIBS tav47core)
tav47_test(tst_channelmodel tst_channelmodel.cpp LIBS tav47core)
