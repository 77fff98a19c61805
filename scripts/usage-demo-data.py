#!/usr/bin/env python3
"""Fill a Korvianet database with a year of made-up usage history.

Writes hourly traffic (evening-heavy days, quiet nights, busier weekends)
for the given number of days up to now, and 30 days of per-minute signal
rows, into the usage tables of the database file given (the tables are
created when missing, exactly as the program creates them). The phonebook,
SMS and call tables are never touched. Existing usage rows in the span are
replaced, so running it twice gives the same database.

    scripts/usage-demo-data.py ~/.local/share/korvianet/WVL.MDB
    scripts/usage-demo-data.py /tmp/demo.mdb --days 365 --seed 7
"""
import argparse
import math
import os
import random
import sqlite3
import sys
import time

SCHEMA = """
CREATE TABLE IF NOT EXISTS usage_hourly (
 hour_start INTEGER PRIMARY KEY, rx INTEGER NOT NULL DEFAULT 0,
 tx INTEGER NOT NULL DEFAULT 0, seconds INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS usage_daily (
 day_start INTEGER PRIMARY KEY, rx INTEGER NOT NULL DEFAULT 0,
 tx INTEGER NOT NULL DEFAULT 0, seconds INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS signal_minute (
 minute_start INTEGER PRIMARY KEY, samples INTEGER NOT NULL,
 onex_min INTEGER, onex_max INTEGER, onex_mean REAL,
 evdo_min INTEGER, evdo_max INTEGER, evdo_mean REAL,
 sys_mode INTEGER NOT NULL DEFAULT 0, roaming INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS usage_meta (
 key TEXT PRIMARY KEY, value TEXT NOT NULL DEFAULT '');
"""


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("database", help="an existing database file (never created)")
    ap.add_argument("--days", type=int, default=365, help="days of hourly history (default 365)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--now", type=int, default=None, help="end time, seconds since 1970 (default: now)")
    a = ap.parse_args()
    if not os.path.isfile(a.database):
        sys.exit(f"usage-demo-data: no database file {a.database!r}")
    if not 1 <= a.days <= 3660:
        sys.exit("usage-demo-data: --days must be from 1 to 3660")
    rnd = random.Random(a.seed)
    now = a.now if a.now is not None else int(time.time())
    end_hour = now - now % 3600
    first_hour = end_hour - a.days * 24 * 3600

    db = sqlite3.connect(a.database)
    db.executescript(SCHEMA)
    with db:
        db.execute("DELETE FROM usage_hourly WHERE hour_start >= ? AND hour_start <= ?", (first_hour, end_hour))
        rows = []
        for h in range(first_hour, end_hour + 1, 3600):
            lt = time.localtime(h)
            # A session most evenings, some mornings; weekends busier;
            # a slow seasonal swing over the year.
            busy = {7: .3, 8: .4, 12: .3, 18: .6, 19: .8, 20: .9, 21: .9, 22: .7, 23: .4}.get(lt.tm_hour, .05)
            if lt.tm_wday >= 5:
                busy = min(1.0, busy * 1.4 + .1)
            season = 1 + .35 * math.sin(2 * math.pi * lt.tm_yday / 365)
            if rnd.random() > busy:
                continue
            secs = rnd.randint(600, 3600)
            rx = int(secs * rnd.uniform(700, 14_000) * season)
            tx = int(rx * rnd.uniform(.05, .2))
            rows.append((h, rx, tx, secs))
        db.executemany("INSERT INTO usage_hourly (hour_start, rx, tx, seconds) VALUES (?, ?, ?, ?)", rows)

        m_end = now - now % 60
        m_first = m_end - 30 * 86400
        db.execute("DELETE FROM signal_minute WHERE minute_start >= ? AND minute_start <= ?", (m_first, m_end))
        sig = []
        base1x, basedo = -82.0, -74.0
        for m in range(m_first, m_end + 1, 60):
            # A slow wander (the weather, the window sill) plus minute noise.
            base1x += rnd.uniform(-.4, .4) - (base1x + 82) * .01
            basedo += rnd.uniform(-.5, .5) - (basedo + 74) * .01
            s1 = [int(base1x + rnd.gauss(0, 2)) for _ in range(30)]
            sd = [int(basedo + rnd.gauss(0, 3)) for _ in range(30)]
            mode = 4 if basedo > -95 else 2
            sig.append((m, 30, min(s1), max(s1), sum(s1) / 30, min(sd), max(sd), sum(sd) / 30, mode,
                        1 if rnd.random() < .002 else 0))
        db.executemany("INSERT INTO signal_minute VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", sig)
        # The traffic file's history counts as imported: the demo replaces it.
        db.execute("INSERT OR REPLACE INTO usage_meta (key, value) VALUES ('pktff_imported', 'demo data')")
    db.close()
    print(f"{len(rows)} hours and {len(sig)} signal minutes written to {a.database}")


if __name__ == "__main__":
    main()
