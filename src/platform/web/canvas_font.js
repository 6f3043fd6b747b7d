// The canvas half of the browser host's font engine (canvas_font.cpp): one
// 2048 x 128 canvas the size of the text bitmap, fonts by id, each with its
// CSS font string, its rounded ascent and descent and the whole-pixel
// advances of the characters measured so far.
mergeInto(LibraryManager.library, {
  $tamberWebFont: {
    context: undefined,  // undefined: not tried yet; null: no canvas
    fonts: {},
    nextId: 1,
    current: 0,          // the font the context is set to
    rasterised: 0,
    // Characters whose advance a font keeps; past this many they are
    // measured afresh.
    advanceLimit: 4096,

    getContext: function() {
      if (tamberWebFont.context !== undefined) return tamberWebFont.context;
      var canvas = null;
      if (typeof OffscreenCanvas !== 'undefined') {
        canvas = new OffscreenCanvas(2048, 128);
      } else if (typeof document !== 'undefined') {
        canvas = document.createElement('canvas');
        canvas.width = 2048;
        canvas.height = 128;
      }
      var context = canvas ? canvas.getContext('2d', {willReadFrequently: true}) : null;
      if (context) {
        context.textAlign = 'left';
        context.textBaseline = 'alphabetic';
        context.fillStyle = '#ffffff';
      }
      tamberWebFont.context = context;
      return context;
    },

    // The context set to the font.
    use: function(font) {
      var context = tamberWebFont.getContext();
      if (tamberWebFont.current !== font.id) {
        context.font = font.css;
        tamberWebFont.current = font.id;
      }
      return context;
    },

    // A UTF-16 run from the wasm heap (read through the heap's current view).
    run: function(pointer, length) {
      var units = HEAPU16.subarray(pointer >> 1, (pointer >> 1) + length);
      var text = '';
      for (var i = 0; i < length; i += 4096)
        text += String.fromCharCode.apply(null, units.subarray(i, Math.min(length, i + 4096)));
      return text;
    },

    // A character's (code point's: a surrogate pair is one, an unpaired
    // surrogate stands alone) advance, rounded to whole pixels.
    advance: function(font, character) {
      var advance = font.advances.get(character);
      if (advance === undefined) {
        advance = Math.round(tamberWebFont.use(font).measureText(character).width);
        if (font.advances.size >= tamberWebFont.advanceLimit) font.advances.clear();
        font.advances.set(character, advance);
      }
      return advance;
    },
  },

  // A font by family list, weight, italic, underline and Windows height
  // (negative: em height in pixels; positive: cell height, ascent plus
  // descent; 0: a 16-pixel cell); its id, or 0 when there is no canvas.
  tamber_web_font_create__deps: ['$tamberWebFont'],
  tamber_web_font_create: function(families, weight, italic, underline, height) {
    var context = tamberWebFont.getContext();
    if (!context) return 0;
    var prefix = (italic ? 'italic ' : '') + weight + ' ';
    var suffix = 'px ' + UTF8ToString(families);
    var size = -height;
    if (height >= 0) {
      // The em size whose ascent plus descent is the cell, from the
      // font's proportions at a large size.
      context.font = prefix + '1000' + suffix;
      tamberWebFont.current = 0;
      var m = context.measureText(' ');
      var extent = m.fontBoundingBoxAscent + m.fontBoundingBoxDescent;
      if (!(extent > 0)) return 0;
      size = (height > 0 ? height : 16) * 1000 / extent;
    }
    size = Math.min(Math.max(size, 1), 4096);
    var id = tamberWebFont.nextId++;
    var font = {id: id, css: prefix + (+size.toFixed(3)) + suffix, advances: new Map(), em: size,
                underline: !!underline, ascent: 0, descent: 0};
    var metrics = tamberWebFont.use(font).measureText(' ');
    // Where measureText lacks the font box, Liberation Sans's proportions.
    font.ascent = Math.round(metrics.fontBoundingBoxAscent || size * 0.905);
    font.descent = Math.round(metrics.fontBoundingBoxDescent || size * 0.212);
    tamberWebFont.fonts[id] = font;
    return id;
  },

  tamber_web_font_destroy__deps: ['$tamberWebFont'],
  tamber_web_font_destroy: function(id) {
    delete tamberWebFont.fonts[id];
    if (tamberWebFont.current === id) tamberWebFont.current = 0;
  },

  tamber_web_font_ascent__deps: ['$tamberWebFont'],
  tamber_web_font_ascent: function(id) { return tamberWebFont.fonts[id].ascent; },

  tamber_web_font_descent__deps: ['$tamberWebFont'],
  tamber_web_font_descent: function(id) { return tamberWebFont.fonts[id].descent; },

  // The font's CSS string into out (size bytes, NUL-terminated); its length.
  tamber_web_font_css__deps: ['$tamberWebFont'],
  tamber_web_font_css: function(id, out, size) { return stringToUTF8(tamberWebFont.fonts[id].css, out, size); },

  // The run's width: the sum of its characters' whole-pixel advances.
  tamber_web_font_measure__deps: ['$tamberWebFont'],
  tamber_web_font_measure: function(id, pointer, length) {
    var font = tamberWebFont.fonts[id];
    var width = 0;
    for (var character of tamberWebFont.run(pointer, length)) width += tamberWebFont.advance(font, character);
    return width;
  },

  // Draws the run white from the top of the line (the baseline at the
  // ascent), each character at its whole-pixel pen position, and writes the
  // coverage of [0, right) x [0, bottom) into the heap at `coverage`, one
  // byte per pixel, rows of `right` bytes. 1 when drawn.
  tamber_web_font_render__deps: ['$tamberWebFont'],
  tamber_web_font_render: function(id, pointer, length, right, bottom, coverage) {
    var font = tamberWebFont.fonts[id];
    var context = tamberWebFont.use(font);
    // Transparent, not black: the text's alpha is its greyscale coverage
    // (an opaque canvas may get subpixel, coloured antialiasing).
    context.clearRect(0, 0, right, bottom);
    var pen = 0;
    for (var character of tamberWebFont.run(pointer, length)) {
      if (pen >= right) break;
      context.fillText(character, pen, font.ascent);
      pen += tamberWebFont.advance(font, character);
    }
    if (font.underline && pen > 0) {
      // Where Liberation Sans puts it: 0.106 em below the baseline, 0.073
      // em thick.
      context.fillRect(0, font.ascent + Math.round(font.em * 0.106), Math.min(pen, right),
                       Math.max(1, Math.round(font.em * 0.073)));
    }
    var pixels = context.getImageData(0, 0, right, bottom).data;
    var heap = HEAPU8;
    for (var i = 0, n = right * bottom; i < n; ++i) heap[coverage + i] = pixels[4 * i + 3];
    ++tamberWebFont.rasterised;
    return 1;
  },

  tamber_web_font_rasterised__deps: ['$tamberWebFont'],
  tamber_web_font_rasterised: function() { return tamberWebFont.rasterised; },
});
