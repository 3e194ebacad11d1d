"""Threads extracting in parallel, the GIL released during a call, and a
long loop of calls that must not grow the process."""
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import vorlith

from conftest import ENCRYPTED


def _jobs(pdfs):
    jobs = []
    for name in ("sample", "columns", "unicode", "long"):
        for layout in ("content", "reflow", "positioned", "reading"):
            jobs.append((str(pdfs[name]), layout, None))
    jobs.append((str(ENCRYPTED / "rc4-128.pdf"), "reflow", "user"))
    jobs.append((str(ENCRYPTED / "rc4-40.pdf"), "content", "owner"))
    return jobs


def _run(job):
    path, layout, password = job
    return vorlith.extract(path, layout=layout, password=password, header="&p/&a")


def test_threads_give_the_same_text(pdfs):
    jobs = _jobs(pdfs) * 3
    expected = [_run(job) for job in jobs]
    with ThreadPoolExecutor(max_workers=6) as pool:
        assert list(pool.map(_run, jobs)) == expected
    # Every call at once, started together, on the same file and layout too.
    barrier = threading.Barrier(8)

    def together(job):
        barrier.wait()
        return _run(job)

    same = [(str(pdfs["unicode"]), "reflow", None)] * 8
    with ThreadPoolExecutor(max_workers=8) as pool:
        assert list(pool.map(together, same)) == [expected[8]] * 8


def test_the_gil_is_released_during_a_call(pdfs):
    """While one thread extracts the long file, this thread keeps running:
    no pause between its loop rounds comes near the length of the call."""
    path = str(pdfs["long"])
    # One call of a few tenths of a second, on a fast machine as on a slow one.
    pages = list(range(1, 61)) * 4
    while True:
        started = time.perf_counter()
        vorlith.extract(path, layout="reading", pages=pages)
        alone = time.perf_counter() - started
        if alone > 0.3 or len(pages) >= 60 * 256:
            break
        pages = pages * 2
    done = threading.Event()
    worker = threading.Thread(target=lambda: (vorlith.extract(path, layout="reading", pages=pages), done.set()))
    rounds, longest, last = 0, 0.0, time.perf_counter()
    worker.start()
    while not done.is_set():
        now = time.perf_counter()
        longest = max(longest, now - last)
        last = now
        rounds += 1
    worker.join()
    assert alone > 0.1, "the long file is too short to tell"
    assert rounds > 100 and longest < alone / 2, (rounds, longest, alone)


def _rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def _growth_kib(round_of_calls, warm_up, rounds):
    """How far the process grows over rounds of calls, after warm_up rounds
    that fill the allocator's pools, fontconfig's caches and the imports."""
    for _ in range(warm_up):
        round_of_calls()
    before = _rss_kib()
    for _ in range(rounds):
        round_of_calls()
    return _rss_kib() - before


def test_many_calls_do_not_grow_memory(pdfs, tmp_path):
    sample = str(pdfs["sample"])
    data = pdfs["columns"].read_bytes()
    garbage = tmp_path / "garbage.pdf"
    garbage.write_bytes(b"%PDF-1.4 nothing")
    locked = str(ENCRYPTED / "rc4-40.pdf")

    def round_of_calls():
        vorlith.extract(sample, layout="reflow", header="&p &n")
        vorlith.extract_bytes(data, layout="reading", pages=[1, 2])
        vorlith.extract(locked, layout="content", password="user")
        vorlith.info(sample)
        for call in (lambda: vorlith.extract(garbage), lambda: vorlith.extract(locked, password="bad")):
            try:
                call()
            except vorlith.PDFError:
                pass

    grown = _growth_kib(round_of_calls, 100, 1500)
    # 1500 rounds are 9000 calls; a leak of even 1 KiB a call shows as 9 MiB.
    assert grown < 4096, f"RSS grew by {grown} KiB over 9000 calls"


def test_documents_opened_and_closed_do_not_grow_memory(pdfs):
    """close() frees the engine and the document; so does dropping a
    document and its pages without it."""
    columns = str(pdfs["columns"])
    data = pdfs["sample"].read_bytes()

    def round_of_documents():
        with vorlith.open(columns) as doc:
            for page in doc:
                page.words()
                page.to_dict()
            doc.to_json()
            doc.markdown()
        doc = vorlith.open(data)
        page = doc[1]
        page.text("reflow")
        doc.metadata
        del doc, page  # unclosed: freed with its last page
        try:
            vorlith.open(ENCRYPTED / "rc4-40.pdf", password="bad")
        except vorlith.PasswordError:
            pass

    grown = _growth_kib(round_of_documents, 50, 600)
    # A document that stayed would hold its file's objects and fonts: tens
    # of KiB each, 600 of them many MiB.
    assert grown < 4096, f"RSS grew by {grown} KiB over 600 rounds"
