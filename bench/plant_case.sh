#!/bin/sh
# Writes a generated plant case into a folder: 5,000 controllers, 5,000 PV
# exports and 5,000 PV imports (15,001 rows with the general data) against
# an initialization string that holds every tag they name, with a [[tag]]
# value for every tag the driver reads.
# Usage: plant_case.sh DIR [bound|unknown]
#   bound    every row binds (the default)
#   unknown  the string lists every name with a typo, so no row binds
set -eu
dir=$1
variant=${2:-bound}
n=${PLANT_SIZE:-5000}
mkdir -p "$dir"
awk -v n="$n" -v variant="$variant" -v dir="$dir" 'BEGIN {
    mrx = dir "/plant.mrx"
    toml = dir "/plant.toml"
    # The typo the unknown plant makes in the catalogue: a dash dropped.
    sep = variant == "unknown" ? "" : "-"
    print "*AI*" > mrx
    for (i = 1; i <= n; i++) {
        printf "FIC%s%d.SP,-,1,0,100\nFIC%s%d.SPI,-,1,0,100\nFIC%s%d.OPI,-,1,0,100\n", sep, i, sep, i, sep, i > mrx
        printf "TI%s%d.PV,-,1,0,200\nPI%s%d.PV,-,1,0,10\n", sep, i, sep, i > mrx
    }
    print "*AO*" > mrx
    for (i = 1; i <= n; i++) printf "FIC%s%d.OP,-,1,0,100\n", sep, i > mrx
    print "*DI*" > mrx
    print "LINK.ENABLED,-,1\nLINK.RUNNING,-,1" > mrx
    for (i = 1; i <= n; i++) printf "FIC%s%d.MODE,-,1\n", sep, i > mrx

    print "# A generated plant of " n " controllers, " n " PV exports and " n " PV imports." > toml
    print "init_string = \"plant.mrx\"\nsteps = 100\n" > toml
    for (i = 1; i <= n; i++) {
        printf "[[tag]]\nkind = \"AI\"\nname = \"FIC-%d.SP\"\nvalue = %d\n\n", i, 40 + i % 20 > toml
        printf "[[tag]]\nkind = \"AO\"\nname = \"FIC-%d.OP\"\nvalue = %d\n\n", i, 30 + i % 40 > toml
        printf "[[tag]]\nkind = \"AI\"\nname = \"PI-%d.PV\"\nvalue = %d.5\n\n", i, i % 10 > toml
    }
    print "[general]\n\"Data Set\" = 1\n\"Enabled Flag\" = \"LINK.ENABLED\"\n\"Running Flag\" = \"LINK.RUNNING\"\n" > toml
    for (i = 1; i <= n; i++) {
        printf "[[controller]]\nname = \"FIC-%d\"\n\"Data Set\" = 1\n\"SP Tag\" = \"FIC-%d.SP\"\n", i, i > toml
        printf "\"SP Init Tag\" = \"FIC-%d.SPI\"\n\"OP Tag\" = \"FIC-%d.OP\"\n\"OP Init Tag\" = \"FIC-%d.OPI\"\n", i, i, i > toml
        printf "\"Mode Tag\" = \"FIC-%d.MODE\"\nMode = 1\nSP = 50.0\nOP = 0.5\n\n", i > toml
    }
    for (i = 1; i <= n; i++) {
        printf "[[pv_export]]\nname = \"TI-%d\"\n\"Data Set\" = 1\n\"PV Tag\" = \"TI-%d.PV\"\n", i, i > toml
        # A tenth of the exports follow their controller; the rest stay constant.
        if (i % 10 == 0) printf "follows = %d\ngain = 100.0\ntime_constant = 5\n\n", i - 1 > toml
        else printf "value = %d.25\n\n", i % 50 > toml
    }
    for (i = 1; i <= n; i++) {
        printf "[[pv_import]]\nname = \"PI-%d\"\n\"Data Set\" = 1\n\"PV Tag\" = \"PI-%d.PV\"\nMapping = \"1:1\"\n\n", i, i > toml
    }
    print "[[event]]\nstep = 10\naction = \"start\"\n" > toml
    print "[[event]]\nstep = 50\naction = \"set_tag\"\nkind = \"AI\"\nname = \"FIC-7.SP\"\nvalue = 65.0\n" > toml
    print "[[event]]\nstep = 90\naction = \"stop\"" > toml
}'
