"""The bash completion of tauravat and kestra-emu, driven as bash drives it: COMP_WORDS split
at readline's word breaks, then the function that `complete` registered for the command."""

import os
import re
import subprocess
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "packaging/completion/tauravat.bash"
CLI = os.environ["TAURAVAT_CLI"]
EMU = os.environ["KESTRA_EMU"]

DRIVER = r'''
source "$SCRIPT"
line=$LINE
words=()
for word in $line; do
  # readline splits at "=" and ":" and keeps each as a word of its own
  while [[ $word =~ ^([^=:]*)([=:])(.*)$ ]]; do
    [[ -n ${BASH_REMATCH[1]} ]] && words+=("${BASH_REMATCH[1]}")
    words+=("${BASH_REMATCH[2]}")
    word=${BASH_REMATCH[3]}
  done
  words+=("$word")
done
[[ $line == *" " ]] && words+=("")
COMP_WORDS=("${words[@]}")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE=$line
COMP_POINT=${#line}
function=$(complete -p "$NAME" | awk '{ print $3 }')
"$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}"
'''


def complete(program, line, **environment):
    name = "tauravat" if program == CLI else "kestra-emu"
    env = dict(os.environ, SCRIPT=str(SCRIPT), NAME=name, LINE=f"{program} {line}",
               **environment)
    result = subprocess.run(["bash", "-c", DRIVER], capture_output=True, text=True, env=env,
                            check=True, timeout=30)
    return [word for word in result.stdout.split("\n") if word]


def overview_commands():
    text = subprocess.run([CLI, "--help"], capture_output=True, text=True).stdout
    return re.findall(r"^  ([a-z][a-z-]+) ", text.split("Commands:")[1].split("\n\n")[0], re.M)


class Completion(unittest.TestCase):
    def test_commands_options_values_and_ports_of_tauravat_and_kestra_emu(self):
        commands = overview_commands()
        self.assertIn("write-rates", commands)
        for program, line, offered in (
                (CLI, "", commands), (CLI, "re", [c for c in commands if c[:2] == "re"]),
                (CLI, "--json rea", ["read-rates"]), (CLI, "--timeout ", []),
                (CLI, "--speed ", ["9600", "19200", "28800"]),
                (CLI, "totals --rate ", list("ABCDEFG+")), (CLI, "write-rates 23 e", ["exempt"]),
                (EMU, "--model luno-e", ["luno-e", "luno-efv"]),
                (EMU, "--fault 0x24:si", ["silence"]), (EMU, "--seed ", []),
                (EMU, "--fault-kinds nak,dr", ["nak,drop-byte"])):
            self.assertEqual(complete(program, line), offered, line)
        for program, line, included in (  # after the command, its options with the common ones
                (CLI, "totals --", {"--rate", "--port"}), (CLI, "receipt ", {"-"}),
                (CLI, "--port /dev/nul", {"/dev/null"}), (CLI, "identify -p CO", {"COM7"}),
                (EMU, "--", {"--model", "--fault", "--paper", "--no-paper", "--lock",
                             "--status9b"}),
                (EMU, "--model ", {"rx820a-4", "luno", "luno-efv", "unknown", "0", "11"})):
            offered = complete(program, line, TAURAVAT_COM7="/dev/null")
            self.assertLessEqual(included, set(offered), line)
        self.assertNotIn("--rate", complete(CLI, "identify --"))
        # No device maps to COM200 and up: the lent number once, though two sources name it.
        self.assertEqual(complete(CLI, "--port=COM20", TAURAVAT_COM201="/dev/null"), ["COM201"])


if __name__ == "__main__":
    unittest.main()
