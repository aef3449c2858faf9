set output 'Timing4.svg
set terminal svg
set multiplot
set grid
set title "Clients scheduling latency"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/p-prof.log" using 9 title "test_mic_in/35" with lines, "/tmp/p-prof.log" using 17 title "test_mic/34" with lines, "/tmp/p-prof.log" using 25 title "pw-rig-sine/52" with lines, "/tmp/p-prof.log" using 33 title "pw-play/56" with lines
unset multiplot
unset output
