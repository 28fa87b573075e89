// What the reference scripts share: face-api on the tfjs CPU backend, where
// its model files are, and reading a PNG photo as an RGB tensor.
'use strict';

const fs = require('fs');
const path = require('path');
const { PNG } = require('pngjs');
const faceapi = require('@vladmandic/face-api/dist/face-api.node-wasm.js');

const tf = faceapi.tf;
const modelDir = path.join(path.dirname(require.resolve('@vladmandic/face-api/package.json')), 'model');

function readRgb(file) {
  const png = PNG.sync.read(fs.readFileSync(file));
  const rgb = new Int32Array(png.width * png.height * 3);
  for (let i = 0, j = 0; i < png.data.length; i += 4) {
    rgb[j++] = png.data[i];
    rgb[j++] = png.data[i + 1];
    rgb[j++] = png.data[i + 2];
  }
  return tf.tensor3d(rgb, [png.height, png.width, 3], 'int32');
}

module.exports = { faceapi, tf, modelDir, readRgb };
