"""The service's install component: the program, its systemd unit able to reach a serial port,
and the examples beside it."""
import configparser
import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest


class ServiceComponent(unittest.TestCase):
    def test_the_unit_runs_in_dialout_and_the_program_takes_the_example_configuration(self):
        prefix = tempfile.mkdtemp(prefix="tauravatd-install-")
        self.addCleanup(shutil.rmtree, prefix, True)
        subprocess.run([os.environ.get("CMAKE", "cmake"), "--install", os.environ["BUILD_DIR"],
                        "--component", "service", "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL)
        unit = configparser.ConfigParser(strict=False, interpolation=None)
        unit.optionxform = str
        unit.read(os.path.join(prefix, "lib/systemd/system/tauravatd.service"))
        wanted = {"DynamicUser": "yes", "SupplementaryGroups": "dialout",
                  "StateDirectory": "tauravatd", "Restart": "on-failure", "Type": "notify",
                  "DevicePolicy": "closed"}
        self.assertEqual({key: unit["Service"].get(key) for key in wanted}, wanted)
        self.assertTrue(unit["Service"]["ExecStart"].startswith("/usr/bin/tauravatd --config "))
        self.assertEqual(unit["Install"]["WantedBy"], "multi-user.target")

        examples = pathlib.Path(prefix, "share/doc/tauravatd/examples")
        rules = (examples / "60-kestra-printer.rules").read_text()
        self.assertIn('SYMLINK+="kestra-printer"', rules)
        self.assertIn('GROUP="dialout"', rules)
        # Under a prefix other than /usr the example goes to <prefix>/etc, never to /etc.
        config = pathlib.Path(prefix, "etc/tauravatd/tauravatd.json.example")
        self.assertEqual(json.loads(config.read_text())["printers"][0]["device"],
                         "/dev/kestra-printer")
        # The shop's page, where the installed program looks for it.
        page = pathlib.Path(prefix, "share/tauravatd/web")
        for name in ("index.html", "app.js", "page.css"):
            self.assertTrue((page / name).is_file(), name)
        # The library is a package of its own: the build's is used.
        checked = subprocess.run(
            [os.path.join(prefix, "bin/tauravatd"), "--config", config, "--version"],
            capture_output=True, text=True,
            env=dict(os.environ, LD_LIBRARY_PATH=os.environ["TAURAVAT_LIBRARY_DIR"]))
        self.assertEqual(checked.returncode, 0, checked.stderr)


if __name__ == "__main__":
    unittest.main()
