"""A private PulseAudio server for the live-audio tests.

    with PulseServer() as pulse:
        pulse.configure_libao(ws.home)          # libao's default driver becomes "pulse"
        env = pulse.client_env()                # PULSE_SERVER and friends for the client
        ...

The server runs as a child of the test (not daemonised), in a temporary directory that
serves as its HOME, XDG_RUNTIME_DIR and state directory, with no default script: it loads
only a null sink, and the native protocol on a socket in that directory. Nothing reaches
a user's own server: clients are pointed at the private socket by PULSE_SERVER, with
autospawn off and the private cookie, and the server's own environment carries no session
bus address. Run as root, pulseaudio only warns ("not intended to be run as root") and
serves as usual.

The null sink consumes audio at the real sample rate, so a client that writes N seconds of
audio blocks for about N seconds. Left alone it works in blocks as long as the largest
latency its streams allow (2 s when idle), and a newly connected stream then waits for the
current block to end: up to 2 s of silence before the first write returns. To pace every
client from its first write, a loopback from a silent null source keeps a 20 ms stream on
the sink at all times (it adds only silence, so the sink's monitor carries exactly what
the clients play), and the sink is suspended and resumed once at start-up to restart its
clock at that block length.
"""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SINK = "marrowtide_null"
QUIET_SOURCE = "marrowtide_quiet"
KEEPER_LATENCY_MSEC = 20


class PulseError(RuntimeError):
    pass


class PulseServer:
    """Context manager running a private pulseaudio; see the module comment."""

    def __init__(self, startup_timeout=10.0, stop_timeout=10.0):
        self.startup_timeout = startup_timeout
        self.stop_timeout = stop_timeout
        self.root = None
        self.process = None

    # Paths inside the private directory, valid once started.
    @property
    def runtime_dir(self):
        return os.path.join(self.root, "run")

    @property
    def socket_path(self):
        return os.path.join(self.root, "run", "pulse", "native")

    @property
    def server(self):
        """The server address in PULSE_SERVER form."""
        return "unix:" + self.socket_path

    @property
    def cookie_path(self):
        return os.path.join(self.root, "home", ".config", "pulse", "cookie")

    @property
    def log_path(self):
        return os.path.join(self.root, "pulseaudio.log")

    @property
    def sink(self):
        return SINK

    @property
    def monitor(self):
        """The source that carries what is played on the sink (for recording with parec)."""
        return SINK + ".monitor"

    @property
    def pid(self):
        return self.process.pid if self.process else None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        binary = shutil.which("pulseaudio")
        if binary is None:
            raise PulseError("pulseaudio is not installed (Debian package pulseaudio)")
        self.root = tempfile.mkdtemp(prefix="marrowtide-pulse-")
        for sub in ["home", "run", "state"]:
            os.mkdir(os.path.join(self.root, sub), 0o700)
        with open(os.path.join(self.root, "client.conf"), "w") as f:
            f.write(f"autospawn = no\ndefault-server = {self.server}\n"
                    f"cookie-file = {self.cookie_path}\n")
        script = os.path.join(self.root, "server.pa")
        with open(script, "w") as f:
            f.write(f"load-module module-null-sink sink_name={SINK}\n"
                    f"load-module module-null-source source_name={QUIET_SOURCE}\n"
                    f"load-module module-loopback source={QUIET_SOURCE} sink={SINK}"
                    f" latency_msec={KEEPER_LATENCY_MSEC}"
                    " source_dont_move=true sink_dont_move=true\n"
                    f"set-default-sink {SINK}\n"
                    f"suspend-sink {SINK} 1\n"
                    f"suspend-sink {SINK} 0\n"
                    # Last, so that a socket that accepts means everything above is loaded.
                    "load-module module-native-protocol-unix auth-anonymous=1"
                    f" socket={self.socket_path}\n")
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(self.root, "home"),
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "XDG_CONFIG_HOME": os.path.join(self.root, "home", ".config"),
            "PULSE_RUNTIME_PATH": os.path.join(self.runtime_dir, "pulse"),
            "PULSE_STATE_PATH": os.path.join(self.root, "state"),
            "PULSE_CLIENTCONFIG": os.path.join(self.root, "client.conf"),
        }
        args = [binary, "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1",
                "--disallow-exit", "--realtime=no", "--high-priority=no",
                "--log-target=file:" + self.log_path, "--log-level=info"]
        try:
            with open(self.log_path + ".stderr", "wb") as errors:
                self.process = subprocess.Popen(args, env=env, cwd=self.root,
                                                stdin=subprocess.DEVNULL,
                                                stdout=subprocess.DEVNULL, stderr=errors,
                                                start_new_session=True)
            self._wait_until_accepting()
        except BaseException:
            self.stop()
            raise

    def _wait_until_accepting(self):
        deadline = time.monotonic() + self.startup_timeout
        while True:
            if self.process.poll() is not None:
                raise PulseError(f"pulseaudio exited with {self.process.returncode}\n"
                                 + self.log_tail())
            if os.path.exists(self.socket_path):
                with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                    try:
                        s.connect(self.socket_path)
                        return
                    except OSError:
                        pass
            if time.monotonic() > deadline:
                raise PulseError(f"pulseaudio did not open {self.socket_path} within "
                                 f"{self.startup_timeout} s\n" + self.log_tail())
            time.sleep(0.02)

    def stop(self):
        """Stops the server (by its own pid), waits until it is gone, removes the directory."""
        if self.process is not None:
            if self.process.poll() is None:
                self.process.send_signal(signal.SIGTERM)
                try:
                    self.process.wait(timeout=self.stop_timeout)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
            self.process = None
        if self.root is not None:
            shutil.rmtree(self.root, ignore_errors=True)
            self.root = None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def log_tail(self, size=3000):
        text = ""
        for path in [self.log_path, self.log_path + ".stderr"]:
            try:
                with open(path, "rb") as f:
                    text += f"--- {os.path.basename(path)}\n" + \
                        f.read().decode("latin-1")[-size:]
            except OSError:
                pass
        return text

    def client_env(self):
        """The variables a client (libpulse, libao's pulse driver, pactl) needs to reach this
        server and only this one; add them to the client's environment."""
        return {
            "PULSE_SERVER": self.server,
            "PULSE_CLIENTCONFIG": os.path.join(self.root, "client.conf"),
            "PULSE_COOKIE": self.cookie_path,
            "PULSE_SINK": SINK,
            "XDG_RUNTIME_DIR": self.runtime_dir,
        }

    def configure_libao(self, home):
        """Makes "pulse" libao's default driver for programs run with this HOME (~/.libao)."""
        with open(os.path.join(home, ".libao"), "w") as f:
            f.write("default_driver=pulse\n")

    def pactl(self, *args, timeout=10):
        """Runs pactl against this server; returns the CompletedProcess (text output)."""
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
               "HOME": os.path.join(self.root, "home"), **self.client_env()}
        return subprocess.run(["pactl", *args], env=env, capture_output=True, text=True,
                              timeout=timeout)
