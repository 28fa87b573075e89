// Times face-api's own pipeline (SSD MobileNet v1 detector and the 68-point
// landmark net, tfjs CPU backend) per photo: model load once, then the
// median of 5 runs. Usage: node time_pipeline.js PHOTO...
'use strict';

const path = require('path');
const { faceapi, tf, modelDir, readRgb } = require('./face_api_setup');

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
