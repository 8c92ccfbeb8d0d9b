#!/usr/bin/python3
"""How a latency moves when one stage of a net gets slower: a sweep of one delay, plotted.

    PYTHONPATH=build/python /usr/bin/python3 examples/sweep.py sweep.png [MODEL]

By default the net is examples/handshake.stpn, and the location of its server stage
'.uni X 2' goes from 0 to 4. Each point is estimated with the same seed and one sampler per
hardware thread (jobs=0) to 1% relative error; the plot shows the bound and its confidence
band.
"""
import argparse
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import zelbo  # noqa: E402


def arguments(description):
    """The options of a sweep: the picture, the model, the delay swept over a range, the runs."""
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("png", help="the picture to write")
    parser.add_argument("model", nargs="?", default=os.path.join(here, "handshake.stpn"))
    parser.add_argument("--place", default="latch", help="the place whose delay is swept (default latch)")
    parser.add_argument("--delay", default=".uni {} 1", help="its delay, {} standing for the swept value")
    parser.add_argument("--range", nargs=2, type=float, default=(0.0, 4.0), metavar=("FROM", "TO"))
    parser.add_argument("--points", type=int, default=17)
    parser.add_argument("--samples", type=int, help="a fixed sample count per point (default: 1%% relative error)")
    parser.add_argument("--seed", type=int, default=1)
    return parser


def points(args):
    """The swept values, and the delay of the place at each."""
    xs = np.linspace(args.range[0], args.range[1], args.points)
    return xs, [args.delay.format(f"{x:g}") for x in xs]


def show(delay, result):
    print(f"{delay:>16}: {result.bound:.4f} ± {result.half_width:.4f} ({result.samples} samples)")


def plot(png, title, model, args, xs, results):
    """The bound against the swept value, in its confidence band."""
    bounds = np.array([r.bound for r in results])
    widths = np.array([r.half_width for r in results])
    target = model.target
    kind = "lower" if target.lower_bound else "upper"
    fig, ax = plt.subplots(figsize=(7, 4.2))
    ax.fill_between(xs, bounds - widths, bounds + widths, alpha=0.3, label="97% confidence band")
    ax.plot(xs, bounds, marker="o", markersize=3, label=f"{kind} bound")
    ax.set_xlabel(f"delay of place {args.place}: {args.delay.format('x')}")
    ax.set_ylabel(f"average TSE({target.source}, {target.destination}, {target.separation})")
    ax.set_title(f"{model.name or os.path.basename(args.model)}, {title}")
    ax.grid(alpha=0.3)
    ax.legend(loc="upper left")
    fig.tight_layout()
    fig.savefig(png, dpi=100)


def main():
    args = arguments(__doc__.splitlines()[0]).parse_args()
    model = zelbo.read(args.model)
    xs, delays = points(args)
    results = []
    for delay in delays:
        model.set_delay(args.place, delay)
        results.append(zelbo.estimate(model, samples=args.samples, relative_error=None if args.samples else 1,
                                      seed=args.seed, jobs=0))
        show(delay, results[-1])
    plot(args.png, f"seed {args.seed}", model, args, xs, results)


if __name__ == "__main__":
    main()
