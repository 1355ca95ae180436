#!/bin/sh
# Writes a generated plant case into a folder: 5,000 controllers, 5,000 PV
# exports and 5,000 PV imports (15,001 rows with the general data, the rows
# in three IO lists beside plant.toml) against
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
    print "init_string = \"plant.mrx\"\nsteps = 100" > toml
    # The rows come from IO lists, as a plant keeps them: one TOML file
    # holds only so many tables.
    print "controllers = \"controllers.csv\"\npv_exports = \"pv_exports.csv\"\npv_imports = \"pv_imports.csv\"\n" > toml
    for (i = 1; i <= n; i++) {
        printf "[[tag]]\nkind = \"AI\"\nname = \"FIC-%d.SP\"\nvalue = %d\n\n", i, 40 + i % 20 > toml
        printf "[[tag]]\nkind = \"AO\"\nname = \"FIC-%d.OP\"\nvalue = %d\n\n", i, 30 + i % 40 > toml
        printf "[[tag]]\nkind = \"AI\"\nname = \"PI-%d.PV\"\nvalue = %d.5\n\n", i, i % 10 > toml
    }
    print "[general]\n\"Data Set\" = 1\n\"Enabled Flag\" = \"LINK.ENABLED\"\n\"Running Flag\" = \"LINK.RUNNING\"\n" > toml
    ctrl = dir "/controllers.csv"
    print "name,Data Set,SP Tag,SP Init Tag,OP Tag,OP Init Tag,Mode Tag,Mode,SP,OP" > ctrl
    for (i = 1; i <= n; i++) {
        printf "FIC-%d,1,FIC-%d.SP,FIC-%d.SPI,FIC-%d.OP,FIC-%d.OPI,FIC-%d.MODE,1,50.0,0.5\n", i, i, i, i, i, i > ctrl
    }
    pvx = dir "/pv_exports.csv"
    print "name,Data Set,PV Tag,value,follows,gain,time_constant" > pvx
    for (i = 1; i <= n; i++) {
        # A tenth of the exports follow their controller; the rest stay constant.
        if (i % 10 == 0) printf "TI-%d,1,TI-%d.PV,,%d,100.0,5\n", i, i, i - 1 > pvx
        else printf "TI-%d,1,TI-%d.PV,%d.25,,,\n", i, i, i % 50 > pvx
    }
    pvi = dir "/pv_imports.csv"
    print "name,Data Set,PV Tag,Mapping" > pvi
    for (i = 1; i <= n; i++) printf "PI-%d,1,PI-%d.PV,1:1\n", i, i > pvi
    print "[[event]]\nstep = 10\naction = \"start\"\n" > toml
    print "[[event]]\nstep = 50\naction = \"set_tag\"\nkind = \"AI\"\nname = \"FIC-7.SP\"\nvalue = 65.0\n" > toml
    print "[[event]]\nstep = 90\naction = \"stop\"" > toml
}'
