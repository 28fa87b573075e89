// Times face-api's own pipeline (SSD MobileNet v1 detector and the 68-point
// landmark net, tfjs CPU backend) per photo: model load once, then the
// median of 5 runs. Usage: node time_pipeline.js PHOTO...
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

async function main() {
  await tf.setBackend('cpu');
  await tf.ready();
  let start = performance.now();
  await faceapi.nets.ssdMobilenetv1.loadFromDisk(modelDir);
  await faceapi.nets.faceLandmark68Net.loadFromDisk(modelDir);
  console.log(`model load: ${(performance.now() - start).toFixed(1)} ms`);
  for (const file of process.argv.slice(2)) {
    const image = readRgb(file);
    const times = [];
    for (let run = 0; run < 5; run++) {
      start = performance.now();
      await faceapi.detectSingleFace(image, new faceapi.SsdMobilenetv1Options({ minConfidence: 0.5 })).withFaceLandmarks();
      times.push(performance.now() - start);
    }
    times.sort((a, b) => a - b);
    console.log(`${path.basename(file)}: detection + landmarks ${times[2].toFixed(1)} ms (median of 5)`);
    tf.dispose(image);
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
