# SPDX-License-Identifier: MIT
"""The report: the aims each input meets or misses, the tables between the
compare: markers of bench/README.md, the round trip's summary and the
frontier plot, all from the figures kept in the results files."""

import os
import re
import sys

from tools import (DEFAULT_LEVEL, LEVELS, TOOLS, first_line, label,
                   level_tool, named)

MB = 1e6
CONVERTERS = named("converter")
OPTIMISERS = named("optimiser")
READERS = ["corvane", "floor", "floor-stream"] + [
    t for t in TOOLS if TOOLS[t].decode and t not in ("corvane", "floor",
                                                      "floor-stream")]
# The categories whose level 9 is held against the optimisers.
DRAWN = ("photo", "drawing", "screenshot", "game", "theme")


def best(entries, tools, field, lossless_only=True):
    """(value, tool) of the lowest FIELD among TOOLS' entries that
    succeeded (and kept every sample), or None."""
    found = [(e[field], t) for t in tools
             for e in [entries.get(t)] if e and "failed" not in e
             and (e.get("lossless", True) or not lossless_only)]
    return min(found) if found else None


def ratio_cell(value, base, limit, strict=False):
    """(ratio, met) of VALUE over BASE against LIMIT."""
    r = value / base if base else float("inf")
    return r, (r < limit if strict else r <= limit)


def encode_aims(entries, category, group=False):
    """The aims one input meets or misses: {aim: (ratio, met, against)}.
    ENTRIES are its tools' figures; photographs, drawings, screenshots and
    maps have aims of their own, and a group is judged by the sum of its
    sizes only."""
    default = entries.get(level_tool(DEFAULT_LEVEL))
    if not default or "failed" in default:
        return {}
    aims = {}
    size = best(entries, CONVERTERS, "size")
    if size:
        r, met = ratio_cell(default["size"], size[0], 1.0)
        aims["size"] = (r, met and default["lossless"], label(size[1]))
    if group:
        return aims
    wall = best(entries, CONVERTERS, "wall")
    if wall:
        aims["wall"] = ratio_cell(default["wall"], wall[0], 1.0) + (
            label(wall[1]),)
    rss = best(entries, CONVERTERS, "rss", lossless_only=False)
    if rss:
        aims["rss"] = ratio_cell(default["rss"], rss[0], 1.0, strict=True) + (
            label(rss[1]),)
    one, nine = (ok(entries.get(level_tool(k))) for k in (1, 9))
    if category == "photo" and one and wall:
        aims["l1wall"] = ratio_cell(one["wall"], wall[0], 1 / 3) + (
            label(wall[1]),)
        aims["l1size"] = ratio_cell(one["size"], default["size"], 1.10) + (
            "default",)
    if category in DRAWN and nine:
        opti, oxi = ok(entries.get("optipng")), ok(entries.get("oxipng"))
        smallest = best(entries, ["optipng", "oxipng"], "size")
        if smallest:
            aims["l9size"] = ratio_cell(nine["size"], smallest[0], 1.0) + (
                label(smallest[1]),)
        if opti:
            aims["l9opti"] = ratio_cell(nine["wall"], opti["wall"], 0.25) + (
                "optipng",)
        if oxi:
            aims["l9oxi"] = ratio_cell(nine["wall"], oxi["wall"], 1.0) + (
                "oxipng",)
    zopfli = ok(entries.get("zopflipng"))
    if nine and zopfli:
        aims["anchor"] = (nine["size"] / zopfli["size"], True, "zopflipng")
    return aims


def ok(entry):
    """ENTRY when it holds figures, else None."""
    return entry if entry and "failed" not in entry else None


ENCODE_AIMS = [
    ("size", "default size ÷ smallest exact converter", "at most 1"),
    ("wall", "default wall ÷ fastest exact converter", "at most 1"),
    ("rss", "default peak RSS ÷ lowest converter", "below 1"),
    ("l1wall", "-c 1 wall ÷ fastest converter (photos)", "at most 0.33"),
    ("l1size", "-c 1 size ÷ default (photos)", "at most 1.10"),
    ("l9size", "-c 9 size ÷ smaller of optipng -o2, oxipng -o2", "at most 1"),
    ("l9opti", "-c 9 wall ÷ optipng -o2", "at most 0.25"),
    ("l9oxi", "-c 9 wall ÷ oxipng -o2", "at most 1"),
    ("anchor", "-c 9 size ÷ zopflipng (the anchor)", "no aim"),
]


def level_totals(per_input):
    """Over the inputs where every level was measured: each level's total
    size, the levels larger than the level below them, how many inputs,
    the levels off the size/time frontier (another level no larger and no
    slower), and per level the inputs where it gives the size of the level
    below."""
    complete = [e for e in per_input
                if all(ok(e.get(level_tool(k))) for k in LEVELS)]
    totals = [sum(e[level_tool(k)]["size"] for e in complete) for k in LEVELS]
    walls = [sum(e[level_tool(k)]["wall"] for e in complete) for k in LEVELS]
    larger = [k for k in LEVELS[1:] if complete and totals[k] > totals[k - 1]]
    off = [k for k in LEVELS if complete and any(
        (totals[j], walls[j]) != (totals[k], walls[k])
        and totals[j] <= totals[k] and walls[j] <= walls[k] for j in LEVELS)]
    same = {k: sum(1 for e in complete if e[level_tool(k)]["size"]
                   == e[level_tool(k - 1)]["size"]) for k in LEVELS[1:]}
    return totals, larger, len(complete), off, same


def verdict_line(name, limit, judged, most=None):
    """One line per aim: met on every input, or the inputs that miss it (the
    first MOST of them, when given)."""
    if not judged:
        return "- %s (%s): not measured." % (name, limit)
    missed = ["%s (%.4g)" % (k, r) for k, r, met in judged if not met]
    if not missed:
        return "- %s (%s): met on all %d." % (name, limit, len(judged))
    shown = missed[:most] + (["%d more" % (len(missed) - most)]
                             if most and len(missed) > most else [])
    return "- %s (%s): **missed on %d of %d**: %s." % (
        name, limit, len(missed), len(judged), ", ".join(shown))


# --------------------------------------------------------------- rendering

def keys_of(data, kind, set_name):
    keys = [k for k in data[kind] if k.split("/")[0] == set_name]
    return sorted(keys, key=lambda k: data["inputs"].get(
        kind + ":" + k, {}).get("order", 999))


def one_line(text):
    """TEXT fit for a table cell."""
    return " ".join(text.split()).replace("|", "/")


def cell(entry, field, fmt, unit=1):
    if not entry or "failed" in entry or entry.get(field) is None:
        return "-"
    return fmt % (entry[field] / unit)


def render_encode(data, set_name):
    lines = ["| input | tool | PNG (MB) | wall (s) | CPU (s) |"
             " peak RSS (MB) | exact |", "|---|---|---:|---:|---:|---:|---|"]
    tools = [level_tool(DEFAULT_LEVEL), level_tool(9)] + CONVERTERS \
        + OPTIMISERS
    for key in keys_of(data, "encode", set_name):
        meta, entries = data["inputs"]["encode:" + key], data["encode"][key]
        first = True
        for tool in tools:
            e = entries.get(tool)
            if e is None:
                continue
            name = "%s (%s)" % (key.split("/")[1], meta["desc"]) if first \
                else ""
            first = False
            who = "**%s**" % label(tool) if tool.startswith("belvane") \
                else label(tool)
            if "failed" in e:
                lines.append("| %s | %s | - | - | - | - | %s |" % (
                    name, who, one_line(e["failed"])))
                continue
            lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
                name, who, cell(e, "size", "%.3f", MB), cell(e, "wall", "%.3f"),
                cell(e, "cpu", "%.2f"), cell(e, "rss", "%.1f", MB / 1024),
                e["exact"]))
    return "\n".join(lines)


def render_levels(data):
    lines = ["| input | " + " | ".join("-c %d" % k for k in LEVELS) + " |",
             "|---|" + "---:|" * len(LEVELS)]
    notes = []
    for set_name in ("synthetic", "real"):
        keys = keys_of(data, "encode", set_name)
        for key in keys:
            e = data["encode"][key]
            lines.append("| %s | %s |" % (key.split("/")[1], " | ".join(
                "%s / %s" % (cell(e.get(level_tool(k)), "size", "%.3f", MB),
                             cell(e.get(level_tool(k)), "wall", "%.2f"))
                for k in LEVELS)))
        totals, larger, n, off, same = level_totals(
            [data["encode"][k] for k in keys])
        if n:
            lines.append("| **total, %s (%d)** | %s |" % (set_name, n, " | ".join(
                "%.3f" % (t / MB) for t in totals)))
            notes.append("- Higher level never larger over the %s set: %s." % (
                set_name, "met" if not larger else "**missed**: " + ", ".join(
                    "-c %d is %.2f%% larger than -c %d" % (
                        k, 100 * (totals[k] / totals[k - 1] - 1), k - 1)
                    for k in larger)))
            notes.append("- Every level on the size/time frontier of the %s"
                         " set: %s." % (set_name, "met" if not off else
                                        "**missed** by " + ", ".join(
                                            "-c %d" % k for k in off)))
            notes.append("- Inputs of the %s set where a level gives the size"
                         " of the level below (of %d): %s." % (
                             set_name, n, ", ".join("-c %d: %d" % kv
                                                    for kv in same.items())))
    return "\n".join(lines) + "\n\nCells: PNG MB / wall s.\n\n" + "\n".join(
        notes)


def render_encode_aims(data):
    lines = ["| input | " + " | ".join(a[1] for a in ENCODE_AIMS) + " |",
             "|---|" + "---|" * len(ENCODE_AIMS)]
    judged = {a[0]: [] for a in ENCODE_AIMS}
    for set_name in ("synthetic", "real"):
        for key in keys_of(data, "encode", set_name):
            meta = data["inputs"]["encode:" + key]
            group = is_group(key, meta)
            if meta["pixels"] < 1e6 and not group:
                continue
            aims = encode_aims(data["encode"][key], meta["category"], group)
            cells = []
            for aim, _, _ in ENCODE_AIMS:
                if aim not in aims:
                    cells.append("")
                    continue
                r, met, against = aims[aim]
                judged[aim].append((key.split("/")[1], r, met))
                who = " (%s)" % against if aim in ("size", "wall", "rss") \
                    else ""
                fmt = "%.4f" if aim in ("size", "l1size", "l9size",
                                        "anchor") else "%.3f"
                cells.append(fmt % r if aim == "anchor" else (
                    fmt + "%s met" if met else "**" + fmt + "%s missed**") % (
                        r, who))
            lines.append("| %s | %s |" % (key.split("/")[1] + (
                " (sum)" if group else ""), " | ".join(cells)))
    lines.append("")
    lines += [verdict_line(name, limit, judged[aim])
              for aim, name, limit in ENCODE_AIMS if aim != "anchor"]
    return "\n".join(lines)


def is_group(key, meta):
    """Whether the input is a group of small images judged by its sums."""
    return meta.get("group", key == "real/icons")


def compared_with_corvane(entries, tool):
    e, ref = entries[tool], entries.get("corvane")
    note = ""
    if tool != "corvane" and ref and "failed" not in ref:
        if e["digest"] == ref["digest"]:
            note = "same samples"
        elif e["output"] != ref["output"]:
            note = "writes %s (corvane: %s)" % (e["output"], ref["output"])
        else:
            note = "samples differ"
    return "; ".join(x for x in (note, e.get("problem")) if x)


def render_decode(data, set_name):
    lines = ["| input | tool | output | wall (s) | CPU (s) | peak RSS (MiB) |"
             " ÷ floor | compared with corvane |",
             "|---|---|---|---:|---:|---:|---:|---|"]
    for key in keys_of(data, "decode", set_name):
        entries, first = data["decode"][key], True
        floor = entries.get("floor", {}).get("wall")
        for tool in READERS:
            e = entries.get(tool)
            if e is None:
                continue
            name = "%s (%s)" % (key.split("/")[1], data["inputs"][
                "decode:" + key]["desc"]) if first else ""
            first = False
            who = "**corvane**" if tool == "corvane" else label(tool)
            if "failed" in e or "wall" not in e:
                lines.append("| %s | %s | - | - | - | - | - | %s |" % (
                    name, who, one_line(e.get("failed", "not timed"))))
                continue
            lines.append("| %s | %s | %s | %.3f | %.2f | %.0f | %s | %s |" % (
                name, who, e["output"], e["wall"], e["cpu"], e["rss"] / 1024,
                "%.2f" % (e["wall"] / floor) if floor else "-",
                compared_with_corvane(entries, tool)))
    return "\n".join(lines)


def render_decode_aims(data):
    lines = ["| input | corvane ÷ floor | corvane ÷ streaming floor |"
             " corvane ÷ fastest peer | corvane ÷ libvips | peak RSS (MiB) |"
             " peak RSS ÷ decoded image |", "|---|---:|---|---|---|---|---:|"]
    peers = [t for t in READERS if t not in ("corvane", "floor",
                                             "floor-stream")]
    judged = {"stream": [], "fastest": [], "giga": [], "rss": []}
    for set_name in ("synthetic", "giga"):
        for key in keys_of(data, "decode", set_name):
            entries = data["decode"][key]
            meta = data["inputs"]["decode:" + key]
            c = entries.get("corvane")
            if not c or "wall" not in c:
                continue
            name = key.split("/")[1]
            floor = entries.get("floor", {}).get("wall")
            stream = entries.get("floor-stream", {}).get("wall")
            peer = best(entries, peers, "wall", lossless_only=False)
            vips = [entries[t]["wall"] for t in ("vips", "vips-threads")
                    if "wall" in entries.get(t, {})]
            cells = ["%.2f" % (c["wall"] / floor) if floor else "-"]
            cells.append(judge(judged["stream"], name, c["wall"], stream,
                               1.05))
            cells.append(judge(judged["fastest"], name, c["wall"],
                               peer and peer[0], 1.0) +
                         (" (%s)" % label(peer[1]) if peer else ""))
            cells.append(judge(judged["giga"] if set_name == "giga" else [],
                               name, c["wall"], max(vips, default=None),
                               1.0))
            rss = c["rss"] / 1024
            held = name == "plain" or "Adam7" in meta.get("desc", "")
            cells.append("%.1f" % rss if held else judge(
                judged["rss"], name, rss, 16, 1.0, strict=True).replace(
                    " ", " MiB ", 1))
            lines.append("| %s | %s | %.2f |" % (
                name, " | ".join(cells), c["rss"] * 1024 / meta["decoded"]))
    lines += ["", verdict_line("corvane within 1.05 times the streaming"
                               " floor", "at most 1.05", judged["stream"]),
              verdict_line("corvane no slower than the fastest peer",
                           "at most 1", judged["fastest"]),
              verdict_line("corvane faster than libvips in both thread"
                           " settings on every PNG over 50 MP", "at most 1",
                           judged["giga"]),
              verdict_line("corvane's peak RSS under 16 MiB, interlaced and"
                           " plain inputs aside", "below 16", judged["rss"])]
    return "\n".join(lines)


def judge(judged, name, value, base, limit, strict=False):
    """The cell of VALUE against BASE (a ratio, or VALUE itself when BASE is
    the limit's unit), adding (name, figure, met) to JUDGED."""
    if not base:
        return "-"
    r, met = ratio_cell(value, base, limit, strict)
    figure = value if base == 16 else r
    judged.append((name, figure, met))
    return "%.2f %s" % (figure, "met" if met else "**missed**")


def describe_machine():
    cpu = first_line(["sh", "-c", "lscpu | sed -n 's/^Model name: *//p'"])
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) / 1048576
    try:
        with open("/sys/kernel/mm/transparent_hugepage/enabled") as f:
            thp = re.search(r"\[(\w+)\]", f.read()).group(1)
    except OSError:
        thp = "unknown"
    with open("/etc/debian_version") as f:
        debian = f.read().strip()
    return ("Machine: %d cores (%s), %.0f GiB, Linux %s, Debian %s,"
            " transparent huge pages: %s." % (
                os.cpu_count(), cpu, mem, os.uname().release, debian, thp))


def render_machine(data):
    lines = [describe_machine(), "", "| tool | version | measured | runs |"
             " load average at the start, at the end |", "|---|---|---|---:|---|"]
    shown = set()
    for key in sorted(data["tools"]):
        kind, tool = key.split(":")
        if tool.startswith("belvane@"):
            if tool != level_tool(DEFAULT_LEVEL):
                continue
            tool = "belvane"
        t = data["tools"][key]
        name = "%s (%s)" % (TOOLS[tool].label if tool in TOOLS else
                            "belvane", kind)
        if name in shown:
            continue
        shown.add(name)
        lines.append("| %s | %s | %s | %s | %s; %s |" % (
            name, t["version"], t["when"], t["runs"], t["load"][0],
            t["load"][1]))
    return "\n".join(lines)


def write_blocks(readme, blocks):
    """Replaces what stands between <!-- compare:NAME --> and
    <!-- /compare:NAME --> with each block; fails on a missing marker."""
    with open(readme) as f:
        text = f.read()
    for name, body in blocks.items():
        start, end = "<!-- compare:%s -->" % name, "<!-- /compare:%s -->" % name
        if start not in text or end not in text:
            sys.exit("compare.py: %s lacks %s ... %s" % (readme, start, end))
        head, rest = text.split(start, 1)
        text = head + start + "\n" + body.strip() + "\n" + end + \
            rest.split(end, 1)[1]
    with open(readme, "w") as f:
        f.write(text)


# -------------------------------------------------------------------- plot

CATEGORIES = [("synthetic", "synthetic (24 MP)"), ("photo", "photographs"),
              ("drawing", "drawings"), ("screenshot", "screenshots"),
              ("game", "game images"), ("theme", "themes"),
              ("icon", "icons"), ("sprite", "sprites")]


def frontier(data, category):
    """{tool: (total wall, total MB, every sample kept)} over the inputs of
    CATEGORY on which every level and converter succeeded; a tool that has
    no figure for one of them is left out."""
    levels = [level_tool(k) for k in LEVELS]
    keys = [k for k in data["encode"]
            if data["inputs"]["encode:" + k]["category"] == category
            and all(ok(data["encode"][k].get(t)) for t in levels + CONVERTERS)]
    if not keys:
        return {}
    return {t: (sum(data["encode"][k][t]["wall"] for k in keys),
                sum(data["encode"][k][t]["size"] for k in keys) / MB,
                all(data["encode"][k][t]["lossless"] for k in keys))
            for t in levels + CONVERTERS + OPTIMISERS
            if all(ok(data["encode"][k].get(t)) for k in keys)}


def plot(data, path):
    import matplotlib
    matplotlib.use("Agg")
    matplotlib.rcParams["svg.hashsalt"] = "tarvex"
    from matplotlib import pyplot
    figure, axes = pyplot.subplots(2, 4, figsize=(17, 8))
    for ax, (category, title) in zip(axes.flat, CATEGORIES):
        points = frontier(data, category)
        ax.set_title(title)
        if not points:
            ax.set_axis_off()
            continue
        shown = LEVELS[1:]  # -c 0 stores: far above every other point
        levels = [points[level_tool(k)] for k in shown]
        ax.plot([p[0] for p in levels], [p[1] for p in levels], "o-",
                color="tab:blue", label="belvane -c 1..9")
        for k, p in zip(shown, levels):
            ax.annotate(str(k), p[:2], textcoords="offset points",
                        xytext=(3, 3), fontsize=7, color="tab:blue")
        for tool in CONVERTERS + OPTIMISERS:
            if tool not in points:
                continue
            x, y, kept = points[tool]
            ax.plot([x], [y], "s" if tool in CONVERTERS else "^",
                    color="tab:red" if tool in CONVERTERS else "tab:green",
                    fillstyle="full" if kept else "none")
            ax.annotate(label(tool) + ("" if kept else " (lost bits)"),
                        (x, y), textcoords="offset points", xytext=(3, -9),
                        fontsize=7)
        ax.set_xscale("log")
        ax.set_xlabel("total wall time (s)")
        ax.set_ylabel("total PNG size (MB)")
        ax.grid(True, which="both", alpha=0.3)
    figure.suptitle("PNG size against time, summed over each set (lower"
                    " left is better; blue: belvane -c 1 to 9, red: the"
                    " converters, green: the optimisers)")
    figure.tight_layout()
    figure.savefig(path, format="svg", metadata={"Date": None})
    pyplot.close(figure)




# ------------------------------------------------------------- round trip

# The largest new ÷ original any one image may reach at a level.
ROUND_TRIP_LIMITS = {DEFAULT_LEVEL: 1.5, 9: 1.10}


def round_trip_rows(results, level):
    """[(ratio, source, entry)] of the images whose round trip at LEVEL was
    exact, the worst first."""
    rows = [(e["sizes"][str(level)] / e["original"], source, e)
            for source, e in results.items()
            if e["sizes"].get(str(level)) and "problem" not in e]
    return sorted(rows, key=lambda r: (-r[0], r[1]))


def short_source(source):
    package, path = source.split(": ", 1)
    return "%s (%s)" % ("/".join(path.split("/")[-2:]), package)


def round_trip_summary(results, levels):
    lines = ["| level | images exact | new ÷ original, total | larger than"
             " the original | largest ratio | aim: none above |",
             "|---|---:|---:|---:|---|---|"]
    verdicts = []
    for level in levels:
        rows = round_trip_rows(results, level)
        tried = sum(1 for e in results.values() if str(level) in e["sizes"])
        new = sum(e["sizes"][str(level)] for _, _, e in rows)
        old = sum(e["original"] for _, _, e in rows)
        limit = ROUND_TRIP_LIMITS.get(level)
        over = [r for r in rows if limit and r[0] > limit]
        lines.append("| -c %d | %d of %d | %.3f | %d | %.2f (%s) | %s |" % (
            level, len(rows), tried, new / old,
            sum(1 for r in rows if r[0] > 1), rows[0][0],
            short_source(rows[0][1]), "%.2f: %s" % (limit, "met" if not over
                                                   else "**%d over**" %
                                                   len(over))
            if limit else "-"))
        if limit:
            verdicts.append(verdict_line(
                "-c %d: no image above %.2f times its original" % (
                    level, limit), "at most %.2f" % limit,
                [(short_source(s), r, r <= limit) for r, s, _ in rows],
                most=8))
    problems = ["- %s: %s" % (short_source(s), e["problem"])
                for s, e in sorted(results.items()) if "problem" in e]
    return lines + [""] + verdicts + problems


def round_trip_classes(results, levels):
    lines = ["| class | images | " + " | ".join(
        "-c %d: total ratio, larger, worst" % k for k in levels) + " |",
        "|---|---:|" + "---|" * len(levels)]
    classes = sorted({e["class"] for e in results.values()})
    for cls in classes:
        cells = []
        for level in levels:
            rows = [r for r in round_trip_rows(results, level)
                    if r[2]["class"] == cls]
            if not rows:
                cells.append("-")
                continue
            total = sum(e["sizes"][str(level)] for _, _, e in rows) / sum(
                e["original"] for _, _, e in rows)
            cells.append("%.3f, %d, %.2f" % (
                total, sum(1 for r in rows if r[0] > 1), rows[0][0]))
        count = sum(1 for e in results.values() if e["class"] == cls)
        lines.append("| %s | %d | %s |" % (cls, count, " | ".join(cells)))
    return lines


def round_trip_worst(results, levels, level, count=15):
    lines = ["| image (package) | class | original (B) | " + " | ".join(
        "-c %d (B)" % k for k in levels) + " |",
        "|---|---|---:|" + "---:|" * len(levels)]
    for ratio, source, e in round_trip_rows(results, level)[:count]:
        lines.append("| %s | %s | %d | %s |" % (
            short_source(source), e["class"], e["original"], " | ".join(
                "%d (%.2f)" % (e["sizes"][str(k)],
                               e["sizes"][str(k)] / e["original"])
                if e["sizes"].get(str(k)) else "-" for k in levels)))
    return lines


def render_round_trip(results, default_level):
    """The round trip's summary, by level and by class, and its worst
    images at the default level."""
    if not results:
        return "Not measured yet."
    levels = sorted({int(k) for e in results.values() for k in e["sizes"]})
    return "\n".join(
        round_trip_summary(results, levels) + ["", "By class (ratios: new ÷"
                                               " original):", ""]
        + round_trip_classes(results, levels)
        + ["", "The %d largest against their original at the default:" % 15,
           ""] + round_trip_worst(results, levels, default_level))
