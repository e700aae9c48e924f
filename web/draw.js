// Drawing: the decoded frame one pixel for one screen pixel, and the recorded cursor over it with its
// top-left corner at the recorded position, as the Windows player's DrawIcon places it (the recorder
// already took the hot spot off). The cursor images come from resources/art, the pixel art of the
// player's own cursors, turned into rows and colours by the build (web/build_page.py).
const Drawing = (() => {
  let canvas, context;
  const cursors = [];   // "cur0" no button, "cur1" left, "cur2" right; other buttons draw none

  function init(canvasElement, art) {
    canvas = canvasElement;
    context = canvas.getContext("2d", { alpha: false });
    for (const image of art.cursors) {
      const pixels = new ImageData(image.width, image.height);
      image.rows.forEach((row, y) => {
        for (let x = 0; x < row.length; x++) {
          if (row[x] === art.transparent) continue;
          pixels.data.set([...art.palette[row[x]], 255], (y * image.width + x) * 4);
        }
      });
      const sprite = document.createElement("canvas");
      sprite.width = image.width;
      sprite.height = image.height;
      sprite.getContext("2d").putImageData(pixels, 0, 0);
      cursors.push(sprite);
    }
  }

  // A frame pixel is a device pixel: on a scaled display the canvas is shown smaller in CSS pixels.
  function fit(width, height) {
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    canvas.style.width = width / devicePixelRatio + "px";
    canvas.style.height = height / devicePixelRatio + "px";
  }

  function paint(image, state) {
    context.putImageData(image, 0, 0);
    // Only opaque art pixels are drawn, so the frame shows through the rest exactly.
    if (state.button < cursors.length) context.drawImage(cursors[state.button], state.cursorX, state.cursorY);
  }

  return { init, fit, paint };
})();
