"""The service's install component: the program, its systemd unit with the settings it
needs to reach a serial port, and the examples beside it."""
import configparser
import json
import os
import shutil
import subprocess
import tempfile
import unittest


class ServiceComponent(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="tauravatd-install-")
        subprocess.run([os.environ.get("CMAKE", "cmake"), "--install", os.environ["BUILD_DIR"],
                        "--component", "service", "--prefix", cls.prefix],
                       check=True, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.prefix, relative)

    def test_the_unit_runs_as_its_own_user_in_dialout_with_a_state_directory(self):
        unit = configparser.ConfigParser(strict=False, interpolation=None)
        unit.optionxform = str
        unit.read(self.path("lib/systemd/system/tauravatd.service"))
        wanted = {"DynamicUser": "yes", "SupplementaryGroups": "dialout",
                  "StateDirectory": "tauravatd", "Restart": "on-failure"}
        self.assertEqual({key: unit["Service"].get(key) for key in wanted}, wanted)
        self.assertTrue(unit["Service"]["ExecStart"].startswith("/usr/bin/tauravatd --config "))
        self.assertEqual(unit["Install"]["WantedBy"], "multi-user.target")

    def test_the_installed_program_takes_the_example_configuration(self):
        examples = self.path("share/doc/tauravatd/examples")
        with open(os.path.join(examples, "tauravatd.json")) as f:
            self.assertEqual(json.load(f)["printers"][0]["device"], "/dev/kestra-printer")
        with open(os.path.join(examples, "60-kestra-printer.rules")) as f:
            rules = f.read()
        self.assertIn('SYMLINK+="kestra-printer"', rules)
        self.assertIn('GROUP="dialout"', rules)
        # The library is a component (and package) of its own: the build's is used.
        checked = subprocess.run(
            [self.path("bin/tauravatd"), "--config", os.path.join(examples, "tauravatd.json"),
             "--version"], capture_output=True, text=True,
            env=dict(os.environ, LD_LIBRARY_PATH=os.environ["TAURAVAT_LIBRARY_DIR"]))
        self.assertEqual(checked.returncode, 0, checked.stderr)


if __name__ == "__main__":
    unittest.main()
