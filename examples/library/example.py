# Both engines from Python, on numpy arrays and bytes.
import numpy as np

import gemprobe
import motifscan

o, x, y, z = [0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]
tetrahedron = gemprobe.Solid([np.array(w, dtype=np.float64) for w in ([o, x, y], [o, x, z], [o, y, z], [x, y, z])])
points = np.array([[0.1, 0.1, 0.1], [1, 1, 1], [0.25, 0.25, 0.5]])
for inside in tetrahedron.contains(points):
    print("TAK" if inside else "NIE")

patterns = motifscan.Patterns(["AB", "BC"])
print(motifscan.count(patterns, b"ABCAB"))
counter = motifscan.Counter(patterns)
counter.feed("ABCA")
counter.feed(b"B")
print(counter.count)
