set output 'Timing3.svg
set terminal svg
set multiplot
set grid
set title "Clients end date"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/p-prof.log" using 1 title "Audio period" with lines, "/tmp/p-prof.log" using 8 title "test_mic_in/35" with lines, "/tmp/p-prof.log" using 16 title "test_mic/34" with lines, "/tmp/p-prof.log" using 24 title "pw-rig-sine/52" with lines, "/tmp/p-prof.log" using 32 title "pw-play/56" with lines
unset multiplot
unset output
