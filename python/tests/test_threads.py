"""Threads render pages at once, each on its own engine, with the results of one thread
alone; the GIL is released while a page renders."""

import os
import subprocess
import sys
import textwrap
import threading

import pytest

import letterforge
from support import BUILD_DIR, OCR, PAGE, TRANSLATION, sample_page

MODES = ["white_fill", "text_inpaint", "bubble_clean"]


def test_threads_rendering_at_once_give_the_pages_of_one_thread(workdir):
    small = sample_page(os.path.join(workdir, "small"), 500, 700, 4)
    jobs = [((PAGE, OCR, TRANSLATION) if i % 2 else small,
             {"cleanup_mode": MODES[i % 3], "font_weight": ["regular", "bold"][i % 2]})
            for i in range(8)]
    expected = []
    for files, options in jobs:
        result = letterforge.render(*files, debug=True, **options)
        expected.append((result.png(), result.png(debug=True), result.report, result.blocks))

    start = threading.Barrier(4)
    found = [None] * len(jobs)
    failures = []

    def work(first):
        try:
            start.wait()
            for i in range(first, len(jobs), 4):
                files, options = jobs[i]
                result = letterforge.render(*files, debug=True, **options)
                found[i] = (result.png(), result.png(debug=True), result.report, result.blocks)
        except Exception as error:  # reported below, in the test's own thread
            failures.append(error)

    threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    for i, (got, want) in enumerate(zip(found, expected)):
        assert got == want, f"job {i}"


def test_a_threads_engine_is_let_go_and_made_again_for_its_next_page():
    outcome = []

    def work():
        first = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="bubble_clean").png()
        released = (letterforge.release_engine(), letterforge.release_engine())
        again = letterforge.render(PAGE, OCR, TRANSLATION, cleanup_mode="bubble_clean").png()
        outcome.append((released, first == again))

    thread = threading.Thread(target=work)
    thread.start()
    thread.join()
    assert outcome == [((True, False), True)]


# The page image is a pipe that the main thread fills only once the render has started. Were
# the GIL held while the page renders, the render would wait for the pipe and the main
# thread for the GIL: run apart, so that such a deadlock ends in a failure.
_PIPE_SCRIPT = textwrap.dedent("""
    import os, sys, threading
    import letterforge
    pipe, page, ocr, translation = sys.argv[1:5]
    os.mkfifo(pipe)
    writer = os.open(pipe, os.O_RDWR)  # a writer exists before the render opens the pipe
    outcome = []
    thread = threading.Thread(target=lambda: outcome.append(
        letterforge.render(pipe, ocr, translation).png()))
    thread.start()
    with open(page, "rb") as f:
        data = f.read()
    while data:
        data = data[os.write(writer, data):]
    os.close(writer)
    thread.join()
    expected = letterforge.render(page, ocr, translation).png()
    print("same" if outcome == [expected] else "different")
""")


def test_gil_is_released_while_a_page_renders(workdir):
    env = dict(os.environ, PYTHONPATH=os.path.join(BUILD_DIR, "python"))
    run = subprocess.run([sys.executable, "-c", _PIPE_SCRIPT, os.path.join(workdir, "pipe"),
                          PAGE, OCR, TRANSLATION], env=env, capture_output=True, timeout=120)
    assert run.returncode == 0, run.stderr.decode()
    assert run.stdout.decode().strip() == "same"


# A page dropped on the thread that drew it gives its memory to that thread's engine for its
# next page: whatever the order of drops, releases and threads, no page held may be drawn
# over, nor memory handed to an engine it did not come from. Each case returns the pages
# (index, result) to compare with those rendered alone.
def _held_while_the_thread_renders_on(render):
    held, _, _ = render(0, debug=True), render(1), render(2)
    return [(0, held), (3, render(3))]


def _dropped_after_its_engine_was_let_go(render):
    held = render(0)
    letterforge.release_engine()
    later = render(1)
    del held
    return [(1, later), (2, render(2, debug=True))]


def _dropped_on_another_thread(render):
    box = []
    thread = threading.Thread(target=lambda: box.append(render(0)))
    thread.start()
    thread.join()
    first = render(1)
    box.clear()
    return [(1, first), (2, render(2))]


@pytest.mark.parametrize("drops", [_held_while_the_thread_renders_on,
                                   _dropped_after_its_engine_was_let_go, _dropped_on_another_thread])
def test_pages_dropped_give_their_memory_back_without_touching_the_pages_held(workdir, drops):
    small = sample_page(os.path.join(workdir, "small"), 500, 700, 4)
    jobs = [((PAGE, OCR, TRANSLATION), mode) for mode in ("bubble_clean", "text_inpaint")]
    jobs[1:1] = [(small, "white_fill")]
    jobs.append((small, "bubble_clean"))

    def render(index, debug=False):
        return letterforge.render(*jobs[index][0], cleanup_mode=jobs[index][1], debug=debug)

    def images(r):
        return r.page.tobytes(), r.png(), r.png(debug=True) if r.has_debug else None

    outcome = []
    thread = threading.Thread(target=lambda: outcome.extend(
        (i, images(result)) for i, result in drops(render)))
    thread.start()
    thread.join()
    for index, found in outcome:
        assert found == images(render(index, debug=found[2] is not None)), f"page {index}"
