// Produces the reference figures of the estimator tests with the JavaScript
// pipeline of @vladmandic/face-api 1.7.15 on the tfjs CPU backend:
//   landmark_input_112.png        a 112x112 face crop, cut and scaled the way
//                                 face-api prepares the landmark net's input
//   landmark_net_reference.csv    the landmark net's 136 raw outputs on it
//   <photo>_pipeline_reference.csv  face-api's own detector (SSD MobileNet v1)
//                                 and landmark net on a whole photo: its box
//                                 and 68 points in image pixels
// Usage: node make_reference.js PHOTO_DIR OUT_DIR
'use strict';

const fs = require('fs');
const path = require('path');
const { PNG } = require('pngjs');
const { faceapi, tf, modelDir, readRgb } = require('./face_api_setup');

function writeRgb(file, tensor) {
  const [height, width] = tensor.shape;
  const values = tensor.dataSync();
  const png = new PNG({ width, height });
  for (let i = 0, j = 0; j < values.length; i += 4) {
    png.data[i] = values[j++];
    png.data[i + 1] = values[j++];
    png.data[i + 2] = values[j++];
    png.data[i + 3] = 255;
  }
  fs.writeFileSync(file, PNG.sync.write(png));
}

const header = (what) => [
  `# ${what}`,
  '# Made by tests/network/estimator/reference/make_reference.js with @vladmandic/face-api 1.7.15',
  `# and @tensorflow/tfjs ${tf.version_core} on its ${tf.getBackend()} backend.`,
];

async function main() {
  const [photoDir, outDir] = process.argv.slice(2);
  if (!photoDir || !outDir) {
    console.error('usage: node make_reference.js PHOTO_DIR OUT_DIR');
    process.exit(2);
  }
  await tf.setBackend('cpu');
  await tf.ready();
  await faceapi.nets.ssdMobilenetv1.loadFromDisk(modelDir);
  await faceapi.nets.faceLandmark68Net.loadFromDisk(modelDir);

  for (const name of ['astronaut', 'camera']) {
    const image = readRgb(path.join(photoDir, `${name}.png`));
    const result = await faceapi
      .detectSingleFace(image, new faceapi.SsdMobilenetv1Options({ minConfidence: 0.5 }))
      .withFaceLandmarks();
    if (!result) throw new Error(`no face in ${name}.png`);
    const box = result.detection.box;
    const lines = header(`face-api's whole pipeline on ${name}.png: detector box, then 68 points x,y in pixels`);
    lines.push(`box,${box.x},${box.y},${box.width},${box.height}`);
    for (const p of result.landmarks.positions) lines.push(`${p.x},${p.y}`);
    fs.writeFileSync(path.join(outDir, `${name}_pipeline_reference.csv`), `${lines.join('\n')}\n`);

    if (name === 'astronaut') {
      // The landmark net's own input preparation: the box's pixels, padded
      // to a centred square with zeros and scaled to 112x112 (bilinear),
      // rounded to 8 bits so that the crop can be stored exactly.
      const [face] = await faceapi.extractFaceTensors(image, [result.detection]);
      const netInput = await faceapi.toNetInput(face);
      const crop = tf.tidy(() => netInput.toBatchTensor(112, true).squeeze().round().clipByValue(0, 255).toInt());
      writeRgb(path.join(outDir, 'landmark_input_112.png'), crop);
      const output = await faceapi.nets.faceLandmark68Net.forward(crop);
      const values = Array.from(output.dataSync());
      const out = header('the landmark net\'s 136 outputs (x,y pairs in [0,1]) on landmark_input_112.png');
      for (let i = 0; i < values.length; i += 2) out.push(`${values[i]},${values[i + 1]}`);
      fs.writeFileSync(path.join(outDir, 'landmark_net_reference.csv'), `${out.join('\n')}\n`);
      tf.dispose([face, crop, output]);
    }
    tf.dispose(image);
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
