# Keystroke latency against records, on log scales: ours (prefix and contains medians,
# the worst single keystroke) beside the anchors a competent engineer would pick instead
# (an indexed SQLite query, FTS5 trigram, a sorted QSortFilterProxyModel), with the
# 16 ms frame as a line. bench/run writes the data and calls:
#   gnuplot -e "data='FILE.tsv'; out='FILE.svg'" bench/latency.gp
# Columns of the data: records prefix_ms contains_ms worst_ms sqlite_indexed_ms fts5_ms qsfpm_ms
set terminal svg size 760,460 dynamic enhanced font "DejaVu Sans,12" background "#ffffff"
set output out
set logscale xy
set format x "10^{%L}"
set format y "10^{%L}"
set xlabel "records"
set ylabel "ms per keystroke"
set key left top Left reverse box opaque
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set title "Keystroke latency (medians; lower is better)"
set yrange [0.01:*]
plot \
  16 with lines dt 2 lw 2 lc rgb "#888888" title "16 ms, one frame", \
  data using 1:2 with linespoints lw 2 pt 7 lc rgb "#c0562a" title "prefix (ours)", \
  data using 1:3 with linespoints lw 2 pt 5 lc rgb "#e0902a" title "contains after % (ours)", \
  data using 1:4 with linespoints lw 2 pt 9 lc rgb "#8a3b1a" title "worst keystroke (ours)", \
  data using 1:5 with linespoints lw 1 pt 6 lc rgb "#2a6fc0" title "SQLite, index on UPPER(field)", \
  data using 1:6 with linespoints lw 1 pt 4 lc rgb "#2aa05a" title "SQLite FTS5 trigram (contains)", \
  data using 1:7 with linespoints lw 1 pt 8 lc rgb "#7a2ac0" title "QSortFilterProxyModel"
