#!/usr/bin/env python3
"""Writes the small "landmark_pose" seeds of the model-file fuzz target.

The real pose model is over a megabyte, too big to mutate usefully. These
seeds (model format 2) carry a detector graph of a few hundred bytes (four ReLU outputs of the
input, written here as ONNX protobuf by hand) so that the reader gets past
the detector and into the face model and landmark sections, where each seed
stops at a different check.

    make_pose_seeds.py OUTPUT_DIR
"""
import base64
import sys


def varint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def field_varint(number, value):
    return varint(number << 3) + varint(value)


def field_bytes(number, payload):
    if isinstance(payload, str):
        payload = payload.encode()
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def value_info(name, dims):
    shape = b"".join(field_bytes(1, field_varint(1, d)) for d in dims)
    tensor_type = field_varint(1, 1) + field_bytes(2, shape)  # float
    return field_bytes(1, name) + field_bytes(2, field_bytes(1, tensor_type))


def detector_graph():
    dims = [1, 128, 128, 3]
    graph = b""
    for i in range(4):
        node = field_bytes(1, "x") + field_bytes(2, "o%d" % i) + field_bytes(3, "r%d" % i)
        graph += field_bytes(1, node + field_bytes(4, "Relu"))
    graph += field_bytes(2, "g")
    graph += field_bytes(11, value_info("x", dims))
    for i in range(4):
        graph += field_bytes(12, value_info("o%d" % i, dims))
    opset = field_varint(2, 11)
    return field_varint(1, 7) + field_bytes(7, graph) + field_bytes(8, opset)


def base64_lines(data, indent):
    text = base64.b64encode(bytes(data)).decode()
    pad = " " * indent
    return "".join("\n%s- %s" % (pad, text[i:i + 76]) for i in range(0, len(text), 76)) + "\n"


def document(face_model, landmarks):
    return ("%YAML:1.0\n---\nkind: landmark_pose\nformat: 2\nmade_by: fuzz seed\ndetector:\n"
            "   onnx:" + base64_lines(detector_graph(), 6) +
            "   input_size: 128\n   score_threshold: 0.5\n   nms_threshold: 0.3\n" +
            face_model + landmarks)


def tensor(name, shape):
    return ("      - { name: \"%s\", shape: [ %s ], min: -0.5, scale: 0.004 }\n"
            % (name, ", ".join(str(d) for d in shape)))


def landmarks(tensors, count):
    return ("landmarks:\n   mean_rgb: [ 122.7, 117.0, 104.2 ]\n   box_shift: [ 0., 0. ]\n"
            "   box_scale: [ 1., 1. ]\n   tensors:\n" + "".join(tensors) +
            "   q:" + base64_lines([7] * count, 6))


FACE = ("face_model:\n   landmarks: [ 30, 8, 36, 45 ]\n"
        "   points: [ 0., 0., 0., 0., -63.6, -12.5, -43.3, 32.7, -26.0, 43.3, 32.7, -26.0 ]\n")

SEEDS = {
    # The first two tensors right, then the network lacks the third.
    "pose-first-tensors": document(FACE, landmarks(
        [tensor("dense0/conv0/filters", [3, 3, 3, 32]), tensor("dense0/conv0/bias", [32])], 896)),
    # Shapes that need more values than the block holds.
    "pose-shape-mismatch": document(FACE, landmarks([tensor("dense0/conv0/bias", [4, 8])], 31)),
    # A tensor of the right size under the wrong shape.
    "pose-wrong-shape": document(FACE, landmarks([tensor("dense0/conv0/bias", [2, 16])], 32)),
    # No landmark section at all.
    "pose-no-landmarks": document(FACE, ""),
    # Only the detector.
    "pose-detector-only": document("", ""),
}


def main():
    out = sys.argv[1]
    for name, text in SEEDS.items():
        with open("%s/%s" % (out, name), "w") as seed:
            seed.write(text)


if __name__ == "__main__":
    main()
