set output 'Timing5.svg
set terminal svg
set multiplot
set grid
set title "Clients duration"
set xlabel "audio cycles"
set ylabel "usec"
plot "/tmp/p-prof.log" using 10 title "test_mic_in/35" with lines, "/tmp/p-prof.log" using 18 title "test_mic/34" with lines, "/tmp/p-prof.log" using 26 title "pw-rig-sine/52" with lines, "/tmp/p-prof.log" using 34 title "pw-play/56" with lines
unset multiplot
unset output
