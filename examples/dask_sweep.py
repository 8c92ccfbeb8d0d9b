#!/usr/bin/python3
"""The sweep of sweep.py on a Dask cluster: every point an estimation of its own, on a worker.

    PYTHONPATH=build/python /usr/bin/python3 examples/dask_sweep.py dask_sweep.png [MODEL]
    PYTHONPATH=build/python /usr/bin/python3 examples/dask_sweep.py out.png --scheduler tcp://HOST:8786

Without --scheduler it starts a LocalCluster of --workers processes (default: one per core),
each with one thread. The workers must import zelbo as this process does: on a LocalCluster
they inherit PYTHONPATH; on other machines install the module (cmake --install) or set
PYTHONPATH where the workers start. Point i runs with seed --seed + i, whichever worker takes
it and however often it is retried, and the results come back in the order of the points: the
same arguments give the same figures on any cluster, and `zelbo -seed` with seed + i gives
point i on the command line.
"""
from dask.distributed import Client

import zelbo
from sweep import arguments, plot, points, show


def estimate_point(model, seed, samples):
    """One point, on a worker: the model comes pickled, and so does the result that goes back."""
    return zelbo.estimate(model, samples=samples, relative_error=None if samples else 1, seed=seed)


def sweep(client, models, seed, samples=None):
    """The results for the models, in their order; model i runs with seed + i."""
    seeds = [seed + i for i in range(len(models))]
    return client.gather(client.map(estimate_point, models, seeds, samples=samples, pure=False))


def main():
    parser = arguments(__doc__.splitlines()[0])
    parser.add_argument("--scheduler", help="the address of a running cluster's scheduler")
    parser.add_argument("--workers", type=int, help="worker processes of the local cluster")
    args = parser.parse_args()
    model = zelbo.read(args.model)
    xs, delays = points(args)
    models = [model.copy() for _ in delays]
    for point, delay in zip(models, delays):
        point.set_delay(args.place, delay)
    client = Client(args.scheduler) if args.scheduler else Client(n_workers=args.workers, threads_per_worker=1)
    with client:
        results = sweep(client, models, args.seed, args.samples)
    for delay, result in zip(delays, results):
        show(delay, result)
    plot(args.png, f"seed {args.seed} + i at point i", model, args, xs, results)


if __name__ == "__main__":
    main()
