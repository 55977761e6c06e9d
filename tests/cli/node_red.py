"""A real Node-RED with the Modbus nodes, for running the flows zentriq-lookup writes: installed
once from npm into a folder of the build tree, started headless on 127.0.0.1 with a temporary user
folder, and given nodes of the test's own that write every message a node sends to a file."""

import copy
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

# The versions the flows are written for, every package locked to the version tried: Node-RED 5
# needs Node 22, later Modbus nodes fetch a dependency from outside npm, and a later Node-RED 4 has
# asked for an npm release the registry did not yet serve.
LOCKED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node-red")
LOCK_FILES = ("package.json", "package-lock.json")
PACKAGES = ("node-red", "node-red-contrib-modbus")
MARKER = "zentriq-installed"


class NodeRedError(Exception):
    """Node-RED could not be installed or started; no verdict on the flow."""


def installed_version(cache_dir, package):
    try:
        with open(os.path.join(cache_dir, "node_modules", package, "package.json")) as f:
            return json.load(f)["version"]
    except (OSError, ValueError, KeyError):
        return None


def ensure_installed(cache_dir):
    """Installs the locked packages into cache_dir unless a finished install of that lock is there.
    The marker is written last, so an install cut short is done again."""
    cache_dir = os.path.abspath(cache_dir)
    marker = os.path.join(cache_dir, MARKER)
    lock = "".join(open(os.path.join(LOCKED, name)).read() for name in LOCK_FILES)
    try:
        with open(marker) as f:
            if f.read() == lock and all(installed_version(cache_dir, p) for p in PACKAGES):
                return
    except OSError:
        pass
    os.makedirs(cache_dir, exist_ok=True)
    if os.path.exists(marker):
        os.unlink(marker)
    # The package.json of its own also keeps npm from climbing to a project above cache_dir.
    for name in LOCK_FILES:
        shutil.copyfile(os.path.join(LOCKED, name), os.path.join(cache_dir, name))
    # No install scripts: what they build or print (serial port bindings, a sponsor notice) is not
    # used, and a compiler must not be needed.
    command = ["npm", "ci", "--no-audit", "--no-fund", "--ignore-scripts", "--loglevel=error",
               "--cache", os.path.join(cache_dir, "npm-cache")]
    environment = dict(os.environ, npm_config_update_notifier="false")
    try:
        done = subprocess.run(command, cwd=cache_dir, env=environment, capture_output=True,
                              text=True, stdin=subprocess.DEVNULL, timeout=900)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise NodeRedError(f"npm ci in {cache_dir} did not run: {error}") from error
    if done.returncode != 0:
        raise NodeRedError(f"npm ci of {LOCKED} in {cache_dir} failed "
                           f"(status {done.returncode}):\n{(done.stdout + done.stderr)[-3000:]}")
    missing = [p for p in PACKAGES if not installed_version(cache_dir, p)]
    if missing:
        raise NodeRedError(f"npm ci in {cache_dir} left out {', '.join(missing)}")
    with open(marker, "w") as f:
        f.write(lock)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


SETTINGS = """module.exports = {{
    uiHost: "127.0.0.1",
    uiPort: {port},
    flowFile: {flow_file},
    userDir: {user_dir},
    lang: "en-US",
    credentialSecret: false,
    disableEditor: true,
    httpNodeRoot: false,
    functionExternalModules: false,
    externalModules: {{ autoInstall: false, palette: {{ allowInstall: false }} }},
    diagnostics: {{ enabled: false }},
    runtimeState: {{ enabled: false }},
    logging: {{ console: {{ level: "info", metrics: false, audit: false }} }},
}};
"""


class NodeRed:
    """Node-RED running `flow` (a list of nodes) from the packages in cache_dir; the user folder is
    a new temporary folder in workdir, removed at the end. Entering returns once the flows have
    started; the log (Node-RED's console output, kept in the user folder) is tail()."""

    STARTED = "Started flows"

    def __init__(self, cache_dir, flow, workdir, timeout=60):
        self.cache_dir = os.path.abspath(cache_dir)
        self.flow = flow
        self.workdir = workdir
        self.timeout = timeout
        self.user_dir = None
        self.process = None

    def __enter__(self):
        self.user_dir = tempfile.mkdtemp(prefix="node-red-", dir=self.workdir)
        try:
            self.start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def start(self):
        flow_file = os.path.join(self.user_dir, "flows.json")
        with open(flow_file, "w") as f:
            json.dump(self.flow, f, indent=1)
        settings = os.path.join(self.user_dir, "settings.js")
        with open(settings, "w") as f:
            f.write(SETTINGS.format(port=free_port(), flow_file=json.dumps(flow_file),
                                    user_dir=json.dumps(self.user_dir)))
        red = os.path.join(self.cache_dir, "node_modules", "node-red", "red.js")
        with open(self.log_path(), "wb") as log:
            # A session of its own, so the whole group can be stopped, helpers included.
            self.process = subprocess.Popen(
                ["node", red, "--settings", settings, "--userDir", self.user_dir],
                cwd=self.user_dir, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)
        deadline = time.monotonic() + self.timeout
        while self.STARTED not in self.tail(None):
            if self.process.poll() is not None:
                raise NodeRedError(f"Node-RED ended (status {self.process.returncode}) before its "
                                   f"flows started:\n{self.tail()}")
            if time.monotonic() > deadline:
                raise NodeRedError(f"Node-RED's flows not started within {self.timeout} s:\n"
                                   f"{self.tail()}")
            time.sleep(0.1)

    def log_path(self):
        return os.path.join(self.user_dir, "node-red.log")

    def tail(self, characters=3000):
        try:
            with open(self.log_path(), "rb") as f:
                text = f.read().decode(errors="replace")
        except OSError:
            return ""
        return text if characters is None else text[-characters:]

    def __exit__(self, *_):
        if self.process is not None and self.process.poll() is None:
            for sig, grace in ((signal.SIGTERM, 10), (signal.SIGKILL, None)):
                try:
                    os.killpg(self.process.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    self.process.wait(grace)
                    break
                except subprocess.TimeoutExpired:
                    pass
        shutil.rmtree(self.user_dir, ignore_errors=True)


# Turns what a node sends into one JSON line for the file node after it.
COLLECT_CODE = """msg.payload = JSON.stringify({
    topic: msg.topic,
    payload: msg.payload === undefined ? null : msg.payload,
});
return msg;"""


def collect(flow, function_node_ids, out_file):
    """A copy of `flow` in which every output of each given function node also goes to the test's
    nodes, which append {"topic", "payload"} of each message as one JSON line to out_file."""
    flow = copy.deepcopy(flow)
    nodes = {node.get("id"): node for node in flow}
    formatter, writer = "zentriq-collect-format", "zentriq-collect-file"
    tab = None
    for node_id in function_node_ids:
        node = nodes.get(node_id)
        if node is None or node.get("type") != "function":
            raise ValueError(f"{node_id!r} is not a function node of the flow")
        outputs = int(node.get("outputs", 1))
        wires = node.setdefault("wires", [])
        wires.extend([] for _ in range(outputs - len(wires)))
        for output in wires[:outputs]:
            output.append(formatter)
        tab = tab or node.get("z")
    where = {"z": tab} if tab else {}
    flow.append({"id": formatter, "type": "function", **where, "name": "to a JSON line",
                 "func": COLLECT_CODE, "outputs": 1, "timeout": 0, "noerr": 0, "initialize": "",
                 "finalize": "", "libs": [], "x": 600, "y": 40, "wires": [[writer]]})
    flow.append({"id": writer, "type": "file", **where, "name": "collected",
                 "filename": os.path.abspath(out_file), "filenameType": "str",
                 "appendNewline": True, "createDir": False, "overwriteFile": "false",
                 "encoding": "none", "x": 800, "y": 40, "wires": [[]]})
    return flow
