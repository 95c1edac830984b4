#!/usr/bin/env bash
# Runs the fault matrix (ctest label "reliability") and writes docs/reliability.md from
# the table it leaves in the build directory. Usage: scripts/reliability.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAURAVAT_BUILD_APP=OFF
fi
cmake --build "$build" -j"$(nproc)" --target fault_matrix_tests
table=$build/tests/reliability/fault_matrix.tsv
rm -f "$table"
ctest --test-dir "$build" -L reliability -j"$(nproc)" --output-on-failure
[[ -s $table ]] || { echo "no fault matrix table at $table" >&2; exit 1; }

{
  cat <<'HEAD'
# Reliability: the fault matrix

Each role an exchange plays (an acknowledged command, a record reply, a line sent without
acknowledgement, a status read by a receipt guard, by supervision or by the receipt
preconditions, identification ...) was struck once in each operation that gives it a
context, against the printer emulator, with every fault in turn (`tests/reliability`). A
cell lists the result codes the operation returned, over the exchanges struck, in their
order; every one of them is the code the protocol gives for that failure in that role
(the test fails otherwise). After each run the driver and the printer must agree
whether a receipt is open: a disagreement fails the test, except the runs the test names
as inherent to the protocol, each with its reason and the code the caller gets. After
each run the driver and the printer were brought back into step the way a caller would,
and the next operation (a receipt begun and cancelled) had to work.

A cell marked † had such a named run; the list below gives it, its reason and how the
caller recovers. "port vanishes" is simulated in process at every exchange; the rows
marked (pty) pulled a real pseudo-terminal away while a reply was awaited.

How a till should treat each outcome of the receipt operations is in docs/receipts.md;
a property run (`tests/reliability/receipt_property_test.cpp`) rings 500 random receipts
under random faults of every kind and checks the till's view against the printer's fiscal
memory.

HEAD
  awk -F'\t' '
    BEGIN {
      nf = split("NAK|silence|wrong byte|dropped byte|garbage|printer cancels|paper out|port vanishes", faults, "|")
    }
    {
      op = $1; f = $2; code = $6
      if (!(op in seen)) { seen[op] = 1; ops[++nops] = op }
      key = op SUBSEP f
      if (index(" " codes[key] " ", " " code " ") == 0) codes[key] = codes[key] (codes[key] == "" ? "" : " ") code
      if ($7 != "ok") bad[key] = 1
      if ($8 != "agree") { mark[key] = 1; notes[++nnotes] = "- " op ", " f " at exchange " $3 " (" $4 ", " $5 "): " code ", " $8 " afterwards (" $10 "); settled by: " $9 }
      if (f ~ /pty/) pty[op] = pty[op] (pty[op] == "" ? "" : ", ") $5 " → " code
    }
    END {
      printf "| operation |"
      for (i = 1; i <= nf; i++) printf " %s |", faults[i]
      printf "\n|---|"
      for (i = 1; i <= nf; i++) printf "---|"
      printf "\n"
      for (o = 1; o <= nops; o++) {
        op = ops[o]
        if (!((op SUBSEP "NAK") in codes)) continue
        printf "| %s |", op
        for (i = 1; i <= nf; i++) {
          key = op SUBSEP faults[i]
          c = (key in codes) ? codes[key] : "–"
          if (key in mark) c = c " †"
          if (key in bad) c = c " **WRONG**"
          printf " %s |", c
        }
        printf "\n"
      }
      printf "\n## The port pulled away over a pseudo-terminal\n\n| operation | when | code |\n|---|---|---|\n"
      for (o = 1; o <= nops; o++) if (ops[o] in pty) { split(pty[ops[o]], parts, " → "); printf "| %s | %s | %s |\n", ops[o], parts[1], parts[2] }
      printf "\n## Runs after which driver and printer disagree, inherent to the protocol\n\n"
      for (n = 1; n <= nnotes; n++) print notes[n]
    }' "$table"
  echo
  echo "Codes: 20 send failure, 21 receive failure, 23 unexpected reply, 24 NAK, 101 service"
  echo "jumper, 103 printer failure, 104 no user data, 105 read-only fiscal module, 107 CMOS"
  echo "erased, 109 paper out, 113 no tax rates, 210 receipt cancelled by the printer, 220 no"
  echo "reports in the period, 224 command not available on this model."
} > docs/reliability.md
echo "docs/reliability.md written ($(wc -l < "$table") runs)"
