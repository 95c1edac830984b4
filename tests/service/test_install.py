"""The service's install component: the program, its systemd unit with the promised
settings, and the examples and documentation beside it."""
import configparser
import json
import os
import shutil
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ["BUILD_DIR"]
CMAKE = os.environ.get("CMAKE", "cmake")


class ServiceComponent(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="tauravatd-install-")
        subprocess.run([CMAKE, "--install", BUILD_DIR, "--component", "service",
                        "--prefix", cls.prefix], check=True, stdout=subprocess.DEVNULL)
        # The library is a component (and package) of its own: the build's is used.
        cls.environment = dict(os.environ, LD_LIBRARY_PATH=os.environ["TAURAVAT_LIBRARY_DIR"])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.prefix, relative)

    def test_the_program_runs_from_the_installed_tree(self):
        program = self.path("bin/tauravatd")
        self.assertTrue(os.access(program, os.X_OK))
        usage = subprocess.run([program, "--help"], capture_output=True, text=True,
                               env=self.environment)
        self.assertEqual(usage.returncode, 0)
        self.assertIn("--emulator", usage.stdout)

    def test_the_unit_runs_as_its_own_user_in_dialout_with_a_state_directory(self):
        unit = configparser.ConfigParser(strict=False, interpolation=None)
        unit.optionxform = str
        unit.read(self.path("lib/systemd/system/tauravatd.service"))
        service = unit["Service"]
        self.assertEqual(service["DynamicUser"], "yes")
        self.assertEqual(service["SupplementaryGroups"], "dialout")
        self.assertEqual(service["StateDirectory"], "tauravatd")
        self.assertEqual(service["Restart"], "on-failure")
        self.assertTrue(service["ExecStart"].startswith("/usr/bin/tauravatd --config "))
        self.assertEqual(unit["Install"]["WantedBy"], "multi-user.target")

    def test_the_examples_are_what_the_program_takes(self):
        examples = self.path("share/doc/tauravatd/examples")
        with open(os.path.join(examples, "tauravatd.json")) as f:
            config = json.load(f)
        self.assertEqual(config["printers"][0]["device"], "/dev/kestra-printer")
        with open(os.path.join(examples, "60-kestra-printer.rules")) as f:
            rules = f.read()
        self.assertIn('SYMLINK+="kestra-printer"', rules)
        self.assertIn('GROUP="dialout"', rules)
        self.assertTrue(os.path.exists(self.path("share/doc/tauravatd/service.md")))
        # The example configuration starts the program as far as its options go.
        checked = subprocess.run([self.path("bin/tauravatd"), "--config",
                                  os.path.join(examples, "tauravatd.json"), "--version"],
                                 capture_output=True, text=True, env=self.environment)
        self.assertEqual(checked.returncode, 0, checked.stderr)


if __name__ == "__main__":
    unittest.main()
