#!/usr/bin/env python3
"""The control panel as a player, on Xvfb against the recorder of
with_jack.sh, driven by the keyboard; the playlist is SONG SONG (SONG SONG
SONG for remember and m3u).

    check_player.py whole|next|seek|notes|limits|remember|m3u|coils|rig|song QUILLARC QUILLARC_CLI ARTEFACT_DIR SONG...

whole: "Play the whole playlist" (Alt+P, W), Space: both songs, each as volume,
its entries, the silencing. next: N mid-song silences the first, the second
plays whole. seek: Right mid-song, then the entry due 5 s on. notes:
"Notes..." (Alt+T, N) beside the panel (photographed), Stop (Tab, Tab, Enter
from Play) ends the song. Each ends with Ctrl+Q and the coil silent; with a
realtime server the lead-ins and the clock after the seek are timed.
limits: the coil limits file, edited by hand while the panel runs, holds
from the next Play: the second song plays whole under the file the panel
started with (lowest_key 36), then again without its note-ons above
highest_key 67, added by hand.
remember: the panel is left with its three songs, the second selected (N),
the volume two pages up (volume 51), the whole playlist and repeat on, and
closed; started again without a playlist of its own (both photographed), Space
plays the second song, the third, and the first again, each at volume 51.
m3u: "Save playlist..." writes the three songs into an M3U file, Clear
empties the playlist, "Load playlist..." (each dialog answered by typing the
file's path) brings them back, and the whole playlist plays them in order.
coils: without a rig file, Tools, "Coils..." and OK (Alt+T, C, Alt+O) write
today's coil into one, which plays what the controller played; a second
coil added in the dialog by the keyboard (Bass, on "Bass Coil", channel 0
an octave down; the dialog photographed) and Space: each recorder gets its
coil's exact note list.
rig: with a rig file of two coils, Space plays the first song on both, each
recorder its coil's exact note list (notes --coil) after its share of the
volume, then the silencing.
song: Playlist, "Song settings..." (Alt+L, S) on the first song, the coil's
transpose no longer the rig's (Alt+R) but +12 (Alt+T), OK (the dialog
photographed): Space plays the song's note list an octave up. Space again,
[ and ] half a second and two seconds in, L: the loop's band on the progress
slider (photographed), S stops it silent.
"""
import os
import shutil
import subprocess
import sys
import time

from check_panel import ALL_SOUND_OFF, SCRATCH, TITLE, fail, wait_until, xdotool
from silencing import collapse_silencings
from xserver import start_xvfb, stop_xvfb

REALTIME = os.environ.get("QUILLARC_JACK_REALTIME") == "1"
VOLUME = [0xB0, 7, 31]
SLACK_MS = 40


def entries(cli, song, *options):
    out = subprocess.run([cli, "notes", *options, song], check=True, capture_output=True, text=True).stdout
    return [(int(t), [0x90, int(k), int(v)]) for t, k, v in (line.split(",") for line in out.split()[1:])]


def recorded(recorder=0):
    """(ms, message) of everything recorder number `recorder` recorded so far,
    each silencing as its all-sound-off."""
    with open(os.environ["QUILLARC_RECORDER_FILE_%d" % recorder]) as fh:
        rows = [line.split() for line in fh if line.strip() not in ("", "end")]
    if any(row[0] == "dropped" for row in rows):
        fail("the recorder dropped events")
    return collapse_silencings([(int(row[1]) / 1000.0, [int(x, 16) for x in row[2:]]) for row in rows],
                               lambda event: event[1])


def sent(recorder=0):
    return [m for _, m in recorded(recorder)]


def check_lead_in(at, song):
    events = recorded()
    if REALTIME and abs(events[at + 1][0] - events[at][0] - song[0][0]) > SLACK_MS:
        fail("the first entry came %.0f ms after the volume, not %d" % (events[at + 1][0] - events[at][0], song[0][0]))


def whole(display, a, b):
    xdotool(display, "key", "--delay", "100", "alt+p", "w", "space")
    expected = [VOLUME] + [m for _, m in a] + [ALL_SOUND_OFF, VOLUME] + [m for _, m in b] + [ALL_SOUND_OFF]
    wait_until(lambda: len(sent()) >= len(expected), 40, "both songs")
    time.sleep(0.5)
    if sent() != expected:
        fail("the playlist did not arrive as both songs in order")
    check_lead_in(0, a)
    check_lead_in(len(a) + 2, b)
    return "%d + %d entries in order, each after its lead-in" % (len(a), len(b))


def next_song(display, a, b):
    xdotool(display, "key", "space")
    wait_until(lambda: len(sent()) >= 5, 20, "four entries of the first song")
    xdotool(display, "key", "n")
    wait_until(lambda: sent()[-1:] == [ALL_SOUND_OFF] and VOLUME in sent()[1:], 30, "the second song")
    cut = sent().index(ALL_SOUND_OFF)
    if sent() != [VOLUME] + [m for _, m in a[:cut - 1]] + [ALL_SOUND_OFF, VOLUME] + [m for _, m in b] + [ALL_SOUND_OFF]:
        fail("Next did not silence the first song and play the second from its start")
    check_lead_in(cut + 1, b)
    return "first song cut after %d of %d entries, the second whole" % (cut - 1, len(a))


def seek(display, a, b):
    xdotool(display, "key", "space")
    wait_until(lambda: len(sent()) >= 9, 20, "eight entries")
    xdotool(display, "key", "Right")
    wait_until(lambda: ALL_SOUND_OFF in sent()[:-1], 20, "the entry after the seek")
    events = recorded()
    cut = [m for _, m in events].index(ALL_SOUND_OFF)
    position = events[cut][0] - events[0][0] + 5000
    # The first entry due at or after the place, or one due within the slack of it.
    allowed = [i for i, (t, _) in enumerate(a) if abs(t - position) <= SLACK_MS]
    allowed += [i for i, (t, _) in enumerate(a) if t >= position][:1]
    landed = [i for i in allowed if a[i][1] == events[cut + 1][1]]
    if [m for _, m in events[1:cut]] != [m for _, m in a[:cut - 1]] or not landed:
        fail("after a seek to %.0f ms the next entry was %s" % (position, events[cut + 1][1]))
    if REALTIME and abs(events[cut + 1][0] - (events[0][0] - 5000 + a[landed[0]][0])) > SLACK_MS:
        fail("the entry after the seek left the song's clock")
    return "seek to %.0f ms: entry %d (%d ms) came next" % (position, landed[0], a[landed[0]][0])


def notes_beside(display, window, artefacts):
    xdotool(display, "key", "space")
    wait_until(lambda: len(sent()) >= 4, 20, "three entries")
    xdotool(display, "key", "--delay", "100", "alt+t", "n")
    search = ["search", "--onlyvisible", "--name", "^Notes$"]
    notes = wait_until(lambda: subprocess.run(["xdotool", *search], capture_output=True, text=True,
                                              env=dict(os.environ, DISPLAY=display)).stdout.split(), 20, "Notes")[0]
    size = lambda of: [int(xdotool(display, "getwindowgeometry", "--shell", of).split(key + "=")[1].split()[0])
                       for key in ("WIDTH", "HEIGHT")]
    width, height = size(window)
    xdotool(display, "windowmove", notes, str(width + 8), "0")
    time.sleep(1.5)
    notes_width, notes_height = size(notes)
    shot = os.path.join(artefacts, "panel-notes.png")
    crop = "%dx%d+0+0" % (width + 8 + notes_width, max(height, notes_height))
    subprocess.run(["import", "-display", display, "-window", "root", "-crop", crop, shot], check=True, timeout=30)
    # Back to the panel, where Play kept the focus: two tabs on is Stop.
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--delay", "100", "Tab", "Tab", "Return")
    wait_until(lambda: sent()[-1:] == [ALL_SOUND_OFF], 10, "the song to end")
    count = len(sent())
    time.sleep(1.0)
    if len(sent()) != count or not xdotool(display, *search).split():
        fail("the song went on after Stop, or the Notes window closed with it")
    return "Stop ended the song after %d entries beside the Notes window (%s)" % (count - 2, shot)


def limits_path():
    return os.path.join(os.environ["XDG_CONFIG_HOME"], "quillarc", "coil-limits.conf")


def write_limits(text):
    os.makedirs(os.path.dirname(limits_path()), exist_ok=True)
    with open(limits_path(), "w") as fh:
        fh.write(text)


def limits_edited(display, a, b):
    # N while idle selects the second song; Space plays it.
    xdotool(display, "key", "--delay", "100", "n", "space")
    whole_song = [VOLUME] + [m for _, m in b] + [ALL_SOUND_OFF]
    wait_until(lambda: len(sent()) >= len(whole_song), 20, "the song under the first file")
    write_limits("# my coil\nlowest_key = 36  # the lowest string\nhighest_key = 67\n")
    xdotool(display, "key", "space")
    limited = [VOLUME] + [m for _, m in b if m[2] == 0 or m[1] <= 67] + [ALL_SOUND_OFF]
    wait_until(lambda: len(sent()) >= len(whole_song) + len(limited), 20, "the song under the edited file")
    time.sleep(0.5)
    if sent() != whole_song + limited:
        fail("the limits file edited by hand did not hold from the next Play")
    return "%d entries, then %d under the edited file" % (len(b), len(limited) - 2)


def photograph(display, window, path):
    time.sleep(1.0)
    subprocess.run(["import", "-display", display, "-window", window, path], check=True, timeout=30)


def songs_in_turn(songs, volume):
    """What the controller gets for `songs` played one after the other."""
    expected = []
    for song in songs:
        expected += [volume] + [m for _, m in song] + [ALL_SOUND_OFF]
    return expected


def remember(panels, display, window, artefacts, a, b, c):
    # Tab from Play: Pause, Stop, Restart, Previous, Next, Fixed Mode, Exit,
    # the Speed box, then the volume slider, whose Page Up is ten steps louder.
    xdotool(display, "key", "--delay", "100", "n", *(["Tab"] * 9), "Page_Up", "Page_Up", "alt+p", "w", "alt+p", "l")
    photograph(display, window, os.path.join(artefacts, "panel-left.png"))
    window = panels.restart(display, window, playlist=None)
    photograph(display, window, os.path.join(artefacts, "panel-remembered.png"))
    # After whatever closing the first panel sent.
    before = len(sent())
    xdotool(display, "key", "space")
    volume = [0xB0, 7, 51]
    expected = songs_in_turn([b, c], volume) + [volume] + [m for _, m in a[:2]]
    wait_until(lambda: len(sent()) >= before + len(expected), 60, "the second and third song and the first again")
    if sent()[before:before + len(expected)] != expected:
        fail("the panel started again did not play its saved list from its selection at its volume, whole and round")
    return window, "%d + %d entries and the first again at volume 51 after a restart" % (len(b), len(c))


def dialog(display, title, path):
    """Answers the file dialog titled `title` by typing `path`."""
    search = ["search", "--onlyvisible", "--name", "^%s$" % title]
    found = wait_until(lambda: subprocess.run(["xdotool", *search], capture_output=True, text=True,
                                              env=dict(os.environ, DISPLAY=display)).stdout.split(), 20, title)[0]
    xdotool(display, "windowfocus", "--sync", found)
    xdotool(display, "type", "--delay", "20", path)
    xdotool(display, "key", "Return")
    wait_until(lambda: not subprocess.run(["xdotool", *search], capture_output=True, text=True,
                                          env=dict(os.environ, DISPLAY=display)).stdout.split(), 20, title + " to close")


def m3u(panels, display, window, artefacts, a, b, c):
    listed = os.path.join(SCRATCH, "lists", "mine.m3u")
    os.makedirs(os.path.dirname(listed))
    xdotool(display, "key", "--delay", "100", "alt+f", "s")
    dialog(display, "Save playlist", listed)
    with open(listed) as fh:
        saved = [line.strip() for line in fh if not line.startswith("#")]
    if saved != [os.path.join(SCRATCH, os.path.basename(song)) for song in panels.songs]:
        fail("the saved playlist holds %s" % saved)
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--delay", "100", "alt+l", "c", "alt+f", "l")
    dialog(display, "Load playlist", listed)
    xdotool(display, "windowfocus", "--sync", window)
    before = len(sent())
    xdotool(display, "key", "--delay", "100", "alt+p", "w", "space")
    expected = songs_in_turn([a, b, c], VOLUME)
    wait_until(lambda: len(sent()) >= before + len(expected), 60, "the three songs of the loaded list")
    time.sleep(0.5)
    if sent()[before:] != expected:
        fail("the loaded playlist did not play its songs in their order")
    return window, "saved, cleared, loaded: %d + %d + %d entries in order" % (len(a), len(b), len(c))


class Panels:
    """The panel, started (and started again) on the display."""

    def __init__(self, quillarc, display, songs):
        self.quillarc = quillarc
        self.songs = songs
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLARC_SHOWN_MARK="shown",
                        XDG_RUNTIME_DIR=SCRATCH)
        self.env.pop("QUILLARC_VIRTUAL_DEVICES", None)
        self.process = None

    def start(self, display, playlist):
        env = dict(self.env)
        if playlist is not None:
            env["QUILLARC_PLAYLIST"] = playlist
        self.process = subprocess.Popen([self.quillarc], env=env, cwd=SCRATCH, stdout=subprocess.PIPE, text=True,
                                        stderr=open(os.path.join(SCRATCH, "panel.err"), "a"))
        if self.process.stdout.readline().strip() != "shown":
            fail("the window was not shown")
        window = xdotool(display, "search", "--onlyvisible", "--name", "^%s$" % TITLE).split()[0]
        xdotool(display, "windowfocus", "--sync", window)
        return window

    def close(self, display, window):
        xdotool(display, "windowfocus", "--sync", window)
        xdotool(display, "key", "ctrl+q")
        if self.process.wait(timeout=30) != 0:
            fail("the panel exited with status %d" % self.process.returncode)

    def restart(self, display, window, playlist):
        self.close(display, window)
        return self.start(display, playlist)

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# Lead: channel 0, one voice; Bass: channels 0-1 an octave down at 31 x 50 / 100.
RIG = ("[coil Lead]\ndevice = Lead Coil\nchannels = 0\nvoices = 1\n"
       "[coil Bass]\ndevice = Bass Coil\nchannels = 0-1\ntranspose = -12\nvolume_percent = 50\n")


def rig_played(display, cli, song):
    xdotool(display, "key", "space")
    expected = [[volume] + [m for _, m in entries(cli, song, "--coil", coil)] + [ALL_SOUND_OFF]
                for volume, coil in ((VOLUME, "Lead"), ([0xB0, 7, 15], "Bass"))]
    wait_until(lambda: all(len(sent(i)) >= len(e) for i, e in enumerate(expected)), 40, "the song on both coils")
    time.sleep(0.5)
    if [sent(0), sent(1)] != expected or expected[0][1:] == expected[1][1:]:
        fail("the coils got %s, expected %s" % ([sent(0), sent(1)], expected))
    return "Lead %d and Bass %d entries, each after its volume" % (len(expected[0]) - 2, len(expected[1]) - 2)


def coils_made(display, window, cli, song, artefacts):
    rig = os.path.join(os.path.dirname(limits_path()), "rig.conf")
    single = entries(cli, song)
    xdotool(display, "key", "--delay", "150", "alt+t", "c")
    found_window(display, "Coils")
    xdotool(display, "key", "alt+o")
    wait_until(lambda: os.path.exists(rig), 10, "the rig file")
    if entries(cli, song, "--coil", "Coil") != single:
        fail("today's coil made into a rig plays otherwise: %s" % open(rig).read())
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--delay", "150", "alt+t", "c")
    dialog = found_window(display, "Coils")
    xdotool(display, "key", "--delay", "150", "alt+a", "ctrl+a")
    xdotool(display, "type", "--delay", "20", "Bass")
    xdotool(display, "key", "--delay", "150", "alt+d", "ctrl+a")
    xdotool(display, "type", "--delay", "20", "Bass Coil")
    xdotool(display, "key", "--delay", "150", "alt+0", "space", "alt+t", "ctrl+a")
    xdotool(display, "type", "--delay", "20", "--", "-12")
    photograph(display, dialog, os.path.join(artefacts, "coils.png"))
    xdotool(display, "key", "alt+o")
    wait_until(lambda: "[coil Bass]" in open(rig).read(), 10, "the second coil in the rig file")
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "space")
    expected = [[VOLUME] + [m for _, m in entries(cli, song, "--coil", coil)] + [ALL_SOUND_OFF] for coil in ("Coil", "Bass")]
    wait_until(lambda: all(len(sent(i)) >= len(e) for i, e in enumerate(expected)), 40, "the song on both coils")
    time.sleep(0.5)
    if [sent(0), sent(1)] != expected or expected[0][1:] == expected[1][1:]:
        fail("the coils got %s, expected %s; the rig file:\n%s" % ([sent(0), sent(1)], expected, open(rig).read()))
    return "the rig file made, then Coil %d and Bass %d entries" % (len(expected[0]) - 2, len(expected[1]) - 2)


def song_settings(display, window, cli, song, artefacts):
    plain = entries(cli, song, "--no-song-settings")
    xdotool(display, "key", "--delay", "150", "alt+l", "s")
    dialog = found_window(display, "Song settings")
    xdotool(display, "key", "--delay", "150", "alt+r", "alt+t", "ctrl+a")
    xdotool(display, "type", "--delay", "20", "12")
    photograph(display, dialog, os.path.join(artefacts, "song-settings.png"))
    xdotool(display, "key", "alt+o")
    songs = os.path.join(os.path.dirname(limits_path()), "songs")
    wait_until(lambda: os.path.isdir(songs) and os.listdir(songs), 10, "the song's settings file")
    expected = [VOLUME] + [m for _, m in entries(cli, song, "--coil", "Coil")] + [ALL_SOUND_OFF]
    if expected[1:-1] != [[s, k + 12, v] for s, k, v in (m for _, m in plain)]:
        fail("the settings written are not the song an octave up: %s" % open(os.path.join(songs, os.listdir(songs)[0])).read())
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "space")
    wait_until(lambda: len(sent()) >= len(expected), 40, "the song")
    time.sleep(0.5)
    if sent() != expected:
        fail("the coil got %s, expected %s" % (sent(), expected))
    xdotool(display, "key", "space")
    time.sleep(0.5)
    xdotool(display, "key", "bracketleft")
    time.sleep(1.5)
    xdotool(display, "key", "bracketright", "l")
    photograph(display, window, os.path.join(artefacts, "loop.png"))
    xdotool(display, "key", "s")
    wait_until(lambda: sent()[-1] == ALL_SOUND_OFF and len(sent()) > len(expected) + 1, 10, "the loop stopped silent")
    return "%d entries an octave up from the song's settings" % (len(expected) - 2)


def found_window(display, title):
    search = ["search", "--onlyvisible", "--name", "^%s$" % title]
    return wait_until(lambda: subprocess.run(["xdotool", *search], capture_output=True, text=True,
                                             env=dict(os.environ, DISPLAY=display)).stdout.split(), 20, title)[0]


def main():
    scenario = sys.argv[1]
    quillarc, cli, artefacts = map(os.path.abspath, sys.argv[2:5])
    os.makedirs(artefacts, exist_ok=True)
    songs = [shutil.copy(song, SCRATCH) for song in sys.argv[5:]]
    if scenario == "limits":
        write_limits("# my coil\nlowest_key = 36  # the lowest string\n")
    if scenario == "rig":
        write_limits("")
        with open(os.path.join(os.path.dirname(limits_path()), "rig.conf"), "w") as fh:
            fh.write(RIG)
    server, display = start_xvfb(os.path.join(SCRATCH, "xvfb.log"), "1280x600x24") or fail("Xvfb did not start")
    open(os.path.join(SCRATCH, "panel.err"), "w").close()
    panels = Panels(quillarc, display, songs)
    try:
        window = panels.start(display, ";".join(map(os.path.basename, songs)))
        if scenario == "notes":
            result = notes_beside(display, window, artefacts)
        elif scenario == "rig":
            result = rig_played(display, cli, songs[0])
        elif scenario == "song":
            result = song_settings(display, window, cli, songs[0], artefacts)
        elif scenario == "coils":
            result = coils_made(display, window, cli, songs[0], artefacts)
        elif scenario in ("remember", "m3u"):
            window, result = {"remember": remember, "m3u": m3u}[scenario](
                panels, display, window, artefacts, *map(lambda song: entries(cli, song), songs))
        else:
            result = {"whole": whole, "next": next_song, "seek": seek, "limits": limits_edited}[scenario](display, *map(
                lambda song: entries(cli, song), songs))
        panels.close(display, window)
        # Closing may cut a song short, but never leaves a note sounding.
        for recorder in range(int(os.environ["QUILLARC_RECORDER_COUNT"])):
            ons = [i for i, m in enumerate(sent(recorder)) if m[0] == 0x90 and m[2] > 0]
            if ons and ALL_SOUND_OFF not in sent(recorder)[ons[-1]:]:
                fail("a note was left sounding after the panel closed")
    finally:
        panels.kill()
        stop_xvfb(server)
        with open(os.path.join(SCRATCH, "panel.err")) as fh:
            sys.stderr.write(fh.read())
    print("player %s: passed (%s)" % (scenario, result))


if __name__ == "__main__":
    main()
