#!/usr/bin/python3
"""Writes the demo's sample databases: fictional sites in the device's line format.

Each line: longitude,latitude,kind,speed,label  (Windows-1252 text, CR LF line ends).
The places are invented around a few town names; nothing here is real data.
"""

import random
import sys
from pathlib import Path

TOWNS = ["Valmont", "Saint-Aubrée", "Les Écluses", "Montferrand-sur-Loue", "Brévannes",
         "Castelnoir", "Pont-Léger", "Rivière-Haute", "Chênevert", "Sainte-Marthe-des-Prés"]
ROADS = ["RN 7", "RD 12", "A 40", "Avenue des Tilleuls", "Rue de la Gare", "Quai Pasteur",
         "Boulevard Hébert", "Route de Crémieu", "Chemin des Étangs", "Rocade Est"]


def site(rng, kind, speeds):
    lon = rng.uniform(-4.5, 7.5)
    lat = rng.uniform(43.0, 50.5)
    town = rng.choice(TOWNS)
    road = rng.choice(ROADS)
    return f"{lon:.5f},{lat:.5f},{kind},{rng.choice(speeds)},{town} - {road}"


def write(path, lines):
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "demo")
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(7)
    radars = [site(rng, rng.choice(["FIXE", "FEU", "TRONCON"]), [30, 50, 70, 80, 90, 110, 130])
              for _ in range(320)]
    zones = [site(rng, "ZONE", [50, 70, 90]) for _ in range(180)]
    schools = [site(rng, "ECOLE", [30]) for _ in range(120)]
    write(out / "LocationsMid.txt", radars)
    write(out / "LocationsFull.txt", radars + zones + schools)
    write(out / "TestLocations.txt", radars[:12])


if __name__ == "__main__":
    main()
