#!/usr/bin/python3
"""Extracts the text of every PDF file of a folder on a Dask cluster.

    dask_extract.py INPUT_DIR OUTPUT_DIR [--scheduler ADDRESS] [--layout L]
                    [--workers N] [--processes] [--header TEXT] [--footer TEXT]
                    [--password PW] [--ship]

Writes OUTPUT_DIR/NAME.txt for each INPUT_DIR/NAME.pdf: the bytes the console
program writes with --encoding UTF-8 (every page's item followed by CR LF),
and prints a summary. Without --scheduler it starts a LocalCluster of N
workers, threads of this process (vorlith releases the GIL), or with
--processes worker processes on 127.0.0.1; with one (tcp://HOST:8786) it uses that
cluster, whose workers must import vorlith and read INPUT_DIR under the same
path, unless --ship sends each file's bytes from here. A file that fails is
reported and counted, and the others go on. Exit status: 0 when every file
was extracted, 1 when some failed, 2 for a usage error.
"""
import argparse
import collections
import os
import sys
import time


def extract_file(path, layout, header, footer, password):
    """On a worker: (pages, text bytes, None) or (0, None, (kind, message))."""
    import vorlith
    try:
        items = vorlith.extract(path, layout=layout, header=header, footer=footer, password=password)
    except vorlith.PDFError as error:
        return 0, None, (type(error).__name__, str(error))
    except OSError as error:
        return 0, None, (type(error).__name__, str(error))
    return len(items), _items_bytes(items), None


def extract_data(data, name, layout, header, footer, password):
    """extract_file for bytes sent to the worker (--ship)."""
    import vorlith
    try:
        items = vorlith.extract_bytes(data, layout=layout, header=header, footer=footer, password=password, name=name)
    except vorlith.PDFError as error:
        return 0, None, (type(error).__name__, str(error))
    return len(items), _items_bytes(items), None


def _items_bytes(items):
    # surrogateescape gives back the exact bytes (a file name that is not
    # UTF-8 in &f or &n).
    return "".join(item + "\r\n" for item in items).encode("utf-8", "surrogateescape")


def list_pdfs(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder)
                  if name.lower().endswith(".pdf") and os.path.isfile(os.path.join(folder, name)))


def write_output(out_dir, path, data):
    """OUTPUT_DIR/NAME.txt, written whole or not at all."""
    target = os.path.join(out_dir, os.path.splitext(os.path.basename(path))[0] + ".txt")
    part = target + ".part"
    with open(part, "wb") as out:
        out.write(data)
    os.replace(part, target)


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Extracts the text of a folder of PDF files with Dask.")
    parser.add_argument("input_dir")
    parser.add_argument("output_dir")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--layout", default="reflow", choices=["content", "reflow", "positioned", "reading"])
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="workers of the local cluster (default: the CPU count)")
    parser.add_argument("--header", default="")
    parser.add_argument("--footer", default="")
    parser.add_argument("--password", default=None, help="tried on every protected file")
    parser.add_argument("--processes", action="store_true",
                        help="local cluster of worker processes (default: worker threads in this process)")
    parser.add_argument("--ship", action="store_true",
                        help="send the files' bytes to the workers (no shared input folder needed)")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if not os.path.isdir(args.input_dir):
        parser.error(f"no folder {args.input_dir}")
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    from dask.distributed import Client, LocalCluster, as_completed

    started = time.perf_counter()
    paths = list_pdfs(args.input_dir)
    os.makedirs(args.output_dir, exist_ok=True)
    options = (args.layout, args.header, args.footer, args.password)
    if args.scheduler:
        cluster = None
        client = Client(args.scheduler, timeout="30s")
    else:
        # vorlith releases the GIL, so workers can be threads of this
        # process (in-process transport, no sockets, no start-up of worker
        # processes); --processes gives worker processes on 127.0.0.1.
        if args.processes:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   host="127.0.0.1", dashboard_address=None)
        else:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=False,
                                   dashboard_address=None)
        client = Client(cluster)
    pages, done, failures = 0, 0, collections.Counter()
    path_of = {}  # future key -> input file
    try:
        # Tasks are pure, so a lost worker's task is run again elsewhere.
        if args.ship:
            # A window of files in flight keeps the client's memory bounded.
            window = max(4, 4 * len(client.scheduler_info()["workers"]))
            pending, queue = as_completed(), collections.deque(paths)

            def submit_next():
                path = queue.popleft()
                with open(path, "rb") as source:
                    data = source.read()
                future = client.submit(extract_data, data, path, *options, pure=False)
                path_of[future.key] = path
                pending.add(future)

            for _ in range(min(window, len(queue))):
                submit_next()
            results = pending
        else:
            futures = client.map(extract_file, paths, *[[o] * len(paths) for o in options], pure=False)
            for future, path in zip(futures, paths):
                path_of[future.key] = path
            results = as_completed(futures)
            queue = None
        for future in results:
            path = path_of.pop(future.key)
            try:
                count, data, failure = future.result()
            except Exception as error:  # the task itself failed (a lost worker, ...)
                count, data, failure = 0, None, (type(error).__name__, str(error))
            future.release()
            if failure:
                failures[failure[0]] += 1
                print(f"failed: {path}: {failure[0]}: {failure[1]}", file=sys.stderr)
            else:
                write_output(args.output_dir, path, data)
                pages += count
                done += 1
            if queue:
                submit_next()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    seconds = time.perf_counter() - started
    kinds = ", ".join(f"{kind} {n}" for kind, n in sorted(failures.items())) or "none"
    print(f"files: {len(paths)}, extracted: {done}, pages: {pages}, failures: {sum(failures.values())} ({kinds}), "
          f"seconds: {seconds:.2f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
