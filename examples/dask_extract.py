#!/usr/bin/python3
"""Extracts the text of every PDF file of a folder on a Dask cluster.

    dask_extract.py INPUT_DIR OUTPUT_DIR [--scheduler ADDRESS] [--layout L]
                    [--workers N] [--processes] [--header TEXT] [--footer TEXT]
                    [--password PW] [--ship] [--write-on-workers]

Writes OUTPUT_DIR/NAME.txt for each INPUT_DIR/NAME.pdf: the bytes the console
program writes with --encoding UTF-8 (every page's item followed by CR LF),
and prints a summary. Without --scheduler it starts a LocalCluster of N
workers, threads of this process (vorlith releases the GIL), or with
--processes worker processes on 127.0.0.1; with one (tcp://HOST:8786) it uses
that cluster, whose workers must import vorlith and read INPUT_DIR under the
same path, unless --ship sends each file's bytes from here. A task extracts a
group of files, largest files first. The workers of a local cluster write the
outputs, so that only counts and failures come back; those of a remote one
send the text back to be written here, unless --write-on-workers says that
they share OUTPUT_DIR under the same path.
A file that fails is reported and counted, and the others go on. Exit status:
0 when every file was extracted, 1 when some failed, 2 for a usage error.
"""
import argparse
import collections
import os
import sys
import time

# Tasks per worker the files are cut into, at least: enough to balance the
# workers, few enough that Dask's cost per task (a few ms) stays small.
TASKS_PER_WORKER = 4
# The smallest group, as a fraction of all bytes per worker: the last tasks
# are this small, so the workers finish close together.
SMALLEST_GROUP = 1 / 32


def _extract(vorlith, source, options, from_bytes=False, name=""):
    """(pages, text bytes, None) or (0, None, (kind, message))."""
    layout, header, footer, password = options
    try:
        if from_bytes:
            items = vorlith.extract_bytes(source, layout=layout, header=header, footer=footer, password=password,
                                          name=name)
        else:
            items = vorlith.extract(source, layout=layout, header=header, footer=footer, password=password)
    except (vorlith.PDFError, OSError) as error:
        return 0, None, (type(error).__name__, str(error))
    return len(items), _items_bytes(items), None


def extract_group(paths, out_dir, options):
    """On a worker: extracts the files and, given OUT_DIR, writes their
    outputs; returns [(path, pages, text, failure)] with text None when
    written here and failure None or (kind, message)."""
    import vorlith
    results = []
    for path in paths:
        count, data, failure = _extract(vorlith, path, options)
        if failure is None and out_dir is not None:
            try:
                write_output(out_dir, path, data)
            except OSError as error:
                count, failure = 0, (type(error).__name__, str(error))
            data = None
        results.append((path, count, data, failure))
    return results


def extract_data(data, name, options):
    """On a worker, for bytes sent from the client (--ship): (pages, text
    bytes, failure), the text going back to the client."""
    import vorlith
    return _extract(vorlith, data, options, from_bytes=True, name=name)


def _items_bytes(items):
    # surrogateescape gives back the exact bytes (a file name that is not
    # UTF-8 in &f or &n).
    return "".join(item + "\r\n" for item in items).encode("utf-8", "surrogateescape")


def list_pdfs(folder):
    """[(path, size)] of the folder's PDF files, largest first."""
    found = []
    with os.scandir(folder) as entries:
        for entry in entries:
            if entry.name.lower().endswith(".pdf") and entry.is_file():
                found.append((os.path.join(folder, entry.name), entry.stat().st_size))
    found.sort(key=lambda item: (-item[1], item[0]))
    return found


def groups(files, workers):
    """Cuts [(path, size)], largest first, into lists of paths, one per task,
    in the order given, for WORKERS tasks at a time: each group takes files
    until it holds a share of the bytes still left (1/TASKS_PER_WORKER per
    worker), but not less than SMALLEST_GROUP of a worker's bytes. So large
    files go alone, small ones together, and the groups shrink towards the
    end, where the workers should finish close together. Size stands for
    work."""
    sizes = [max(size, 1) for _, size in files]
    left = sum(sizes)
    smallest = left / workers * SMALLEST_GROUP
    result, group, group_bytes, target = [], [], 0, 0
    for (path, _), size in zip(files, sizes):
        if not group:
            target = max(left / (workers * TASKS_PER_WORKER), smallest)
        group.append(path)
        group_bytes += size
        left -= size
        if group_bytes >= target:
            result.append(group)
            group, group_bytes = [], 0
    if group:
        result.append(group)
    return result


def write_output(out_dir, path, data):
    """OUTPUT_DIR/NAME.txt, written whole or not at all."""
    target = os.path.join(out_dir, os.path.splitext(os.path.basename(path))[0] + ".txt")
    part = target + ".part"
    try:
        with open(part, "wb") as out:
            out.write(data)
        os.replace(part, target)
    except OSError:
        try:
            os.unlink(part)
        except OSError:
            pass
        raise


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
                        help="send the files' bytes to the workers and take the text back (no shared folders needed)")
    parser.add_argument("--write-on-workers", action="store_true",
                        help="with --scheduler: the workers write OUTPUT_DIR, which they share under the same path "
                             "(a local cluster always does)")
    args = parser.parse_args(argv)
    # A local cluster runs on this machine: its workers write the outputs.
    args.write_on_workers = args.write_on_workers or not args.scheduler
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    if not os.path.isdir(args.input_dir):
        parser.error(f"no folder {args.input_dir}")
    return args


def _import_dask():
    """dask.distributed's names. Its import makes some 100,000 objects, and
    the collector would walk them again and again while they are made; they
    live until the end, so they are moved out of its sight."""
    import gc
    gc.disable()
    try:
        from dask.distributed import Client, LocalCluster, as_completed
    finally:
        gc.freeze()
        gc.enable()
    return Client, LocalCluster, as_completed


def _run_groups(client, as_completed, files, args, options, report):
    """Reads by path on the workers, which write the outputs when they share
    this machine's folders (a local cluster, or --write-on-workers); else the
    text comes back and is written here."""
    # A worker with several threads runs as many tasks at once.
    threads = sum(worker["nthreads"] for worker in client.scheduler_info()["workers"].values())
    tasks = groups(files, max(1, threads))
    out_dir = args.output_dir if args.write_on_workers else None
    futures = client.map(extract_group, tasks, out_dir=out_dir, options=options, pure=False)
    paths_of = {future.key: paths for future, paths in zip(futures, tasks)}
    for future in as_completed(futures):
        paths = paths_of.pop(future.key)
        try:
            results = future.result()
        except Exception as error:  # the task itself failed (a lost worker, ...): all its files
            results = [(path, 0, None, (type(error).__name__, str(error))) for path in paths]
        future.release()
        for path, count, data, failure in results:
            if failure is None and data is not None:
                try:
                    write_output(args.output_dir, path, data)
                except OSError as error:
                    count, failure = 0, (type(error).__name__, str(error))
            report(path, count, failure)


def _run_shipped(client, as_completed, files, args, options, report):
    """Sends each file's bytes, a bounded number in flight, and writes the
    text that comes back."""
    window = max(4, 4 * len(client.scheduler_info()["workers"]))
    pending, queue, path_of = as_completed(), collections.deque(path for path, _ in files), {}

    def submit_next():
        path = queue.popleft()
        with open(path, "rb") as source:
            data = source.read()
        future = client.submit(extract_data, data, path, options, pure=False)
        path_of[future.key] = path
        pending.add(future)

    for _ in range(min(window, len(queue))):
        submit_next()
    for future in pending:
        path = path_of.pop(future.key)
        try:
            count, data, failure = future.result()
        except Exception as error:
            count, data, failure = 0, None, (type(error).__name__, str(error))
        future.release()
        if failure is None:
            try:
                write_output(args.output_dir, path, data)
            except OSError as error:
                count, failure = 0, (type(error).__name__, str(error))
        report(path, count, failure)
        if queue:
            submit_next()


def module_version():
    """What this process imports as vorlith: (its version, None), or (None,
    why it cannot be imported)."""
    try:
        import vorlith
    except Exception as error:  # any reason at all makes the worker useless
        return None, f"{type(error).__name__}: {error}"
    return getattr(vorlith, "__version__", "unknown"), None


def check_workers(client):
    """None when every worker imports vorlith, of the client's version when
    the client has the module too; else one message saying which workers
    cannot and why."""
    mine, _ = module_version()
    try:
        client.wait_for_workers(1, timeout=60)
    except Exception:  # no worker yet: the run says so as it always did
        return None
    problems = []
    for worker, (version, why) in sorted(client.run(module_version).items()):
        if version is None:
            problems.append(f"{worker} cannot import vorlith ({why})")
        elif mine is not None and version != mine:
            problems.append(f"{worker} has vorlith {version}, this client {mine}")
    if not problems:
        return None
    return ("dask_extract: no file was started: " + "; ".join(problems) +
            ". Install the same vorlith on every worker (and on its PYTHONPATH).")


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    Client, LocalCluster, as_completed = _import_dask()

    started = time.perf_counter()
    files = list_pdfs(args.input_dir)
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
            # Worker processes forked from a fork server start in about
            # 2.4 s here against 3.3 s spawned (each imports dask anew).
            import dask
            dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"})
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   host="127.0.0.1", dashboard_address=None)
        else:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=False,
                                   dashboard_address=None)
        client = Client(cluster)
    totals = {"pages": 0, "done": 0}
    failures = collections.Counter()

    def report(path, count, failure):
        if failure:
            failures[failure[0]] += 1
            print(f"failed: {path}: {failure[0]}: {failure[1]}", file=sys.stderr)
        else:
            totals["pages"] += count
            totals["done"] += 1

    try:
        problem = check_workers(client) if files else None
        if problem:
            print(problem, file=sys.stderr)
            return 2
        # Tasks are pure, so a lost worker's task is run again elsewhere.
        if files:
            run = _run_shipped if args.ship else _run_groups
            run(client, as_completed, files, args, options, report)
    finally:
        client.close(timeout=10)
        if cluster is not None:
            cluster.close(timeout=10)
    seconds = time.perf_counter() - started
    kinds = ", ".join(f"{kind} {n}" for kind, n in sorted(failures.items())) or "none"
    print(f"files: {len(files)}, extracted: {totals['done']}, pages: {totals['pages']}, "
          f"failures: {sum(failures.values())} ({kinds}), seconds: {seconds:.2f}")
    return 1 if failures else 0


if __name__ == "__main__":
    status = main()
    # The cluster is closed and every output written: end here, without
    # tearing down the interpreter (dask's modules take 0.1 to 0.2 s).
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(status)
