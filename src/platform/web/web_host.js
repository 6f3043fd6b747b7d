// The page's side of the browser host (an Emscripten JavaScript library):
// the canvas and its presenters, fullscreen, the cursor, pointer capture,
// DOM input handed to the host as input records, the store in IndexedDB,
// and game libraries mapped asynchronously. The host's figures and state
// are kept in Module.tamber for the page, its benchmark and the tests.

mergeInto(LibraryManager.library, {
  $TamberHost__deps: ['$FS', '$IDBFS', '$loadDynamicLibrary', '$LDSO'],
  $TamberHost__postset: 'TamberHost.install();',
  $TamberHost: {
    canvas: null,
    presenter: null,  // '2d' or 'webgl', chosen at the first open
    context: null,
    image: null,      // the 2D presenter's ImageData over the wasm heap
    gl: null,
    pointerId: null,
    wantFullscreen: false,
    syncing: false,
    syncAgain: false,
    libraries: {},    // path -> {state: 0 mapping, 1 mapped, -1 failed}

    install: function() {
      Module['tamber'] = {
        frames: 0, firstFrameMs: 0, libraryLoaded: false, updateState: 0, states: [], stateTimes: [],
        stateFrames: [],
        stepMs: [],
        presenter: null, storePersistent: false, lastMessage: null, fullscreen: false,
      };
      var mountStore = function() {
        FS.mkdir('/store');
        FS.mount(IDBFS, {}, '/store');
        addRunDependency('tamber-store');
        FS.syncfs(true, function(error) {
          if (error) {
            console.warn('tamber: the store cannot be read from this browser\'s storage (' + error +
                         '); files are kept until the page closes only');
          } else {
            Module['tamber'].storePersistent = true;
          }
          removeRunDependency('tamber-store');
        });
      };
      if (!Module['preRun']) Module['preRun'] = [];
      if (typeof Module['preRun'] == 'function') Module['preRun'] = [Module['preRun']];
      Module['preRun'].push(mountStore);
      // Written out every few seconds while the page runs, and when it is
      // hidden or left: IDBFS writes only what changed.
      setInterval(function() { TamberHost.sync(); }, 3000);
      document.addEventListener('visibilitychange', function() {
        if (document.visibilityState !== 'visible') TamberHost.sync();
      });
      window.addEventListener('pagehide', function() { TamberHost.sync(); });
    },

    sync: function() {
      if (!Module['calledRun']) return;
      if (TamberHost.syncing) { TamberHost.syncAgain = true; return; }
      TamberHost.syncing = true;
      FS.syncfs(false, function(error) {
        if (error) console.warn('tamber: the store could not be written to this browser\'s storage: ' + error);
        TamberHost.syncing = false;
        if (TamberHost.syncAgain) { TamberHost.syncAgain = false; TamberHost.sync(); }
      });
    },

    // A DOM key as a Windows virtual-key code; 0 for keys without one.
    virtualKey: function(event) {
      var code = event.code || '';
      var m;
      if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
      if ((m = /^Digit([0-9])$/.exec(code))) return 0x30 + +m[1];
      if ((m = /^Numpad([0-9])$/.exec(code))) return 0x60 + +m[1];
      if ((m = /^F([0-9]+)$/.exec(code)) && +m[1] >= 1 && +m[1] <= 24) return 0x6F + +m[1];
      var keys = {
        Backspace: 0x08, Tab: 0x09, Enter: 0x0D, NumpadEnter: 0x0D, ShiftLeft: 0x10, ShiftRight: 0x10,
        ControlLeft: 0x11, ControlRight: 0x11, AltLeft: 0x12, AltRight: 0x12, Pause: 0x13, CapsLock: 0x14,
        Escape: 0x1B, Space: 0x20, PageUp: 0x21, PageDown: 0x22, End: 0x23, Home: 0x24, ArrowLeft: 0x25,
        ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28, PrintScreen: 0x2C, Insert: 0x2D, Delete: 0x2E,
        MetaLeft: 0x5B, MetaRight: 0x5C, ContextMenu: 0x5D, NumpadMultiply: 0x6A, NumpadAdd: 0x6B,
        NumpadSubtract: 0x6D, NumpadDecimal: 0x6E, NumpadDivide: 0x6F, NumLock: 0x90, ScrollLock: 0x91,
        Semicolon: 0xBA, Equal: 0xBB, Comma: 0xBC, Minus: 0xBD, Period: 0xBE, Slash: 0xBF, Backquote: 0xC0,
        BracketLeft: 0xDB, Backslash: 0xDC, BracketRight: 0xDD, Quote: 0xDE, IntlBackslash: 0xE2,
      };
      return keys[code] || 0;
    },

    // The pointer's position in frame pixels, whatever size the canvas is
    // shown at.
    position: function(event) {
      var rect = TamberHost.canvas.getBoundingClientRect();
      var x = (event.clientX - rect.left) * TamberHost.canvas.width / (rect.width || 1);
      var y = (event.clientY - rect.top) * TamberHost.canvas.height / (rect.height || 1);
      return [Math.floor(x), Math.floor(y)];
    },

    listen: function(canvas) {
      var input = function(kind, a, b, c, d) { Module['_tamber_web_input'](kind, a | 0, b | 0, c | 0, d | 0); };
      canvas.tabIndex = 0;
      canvas.addEventListener('pointerdown', function(event) { TamberHost.pointerId = event.pointerId; });
      canvas.addEventListener('mousemove', function(event) {
        var p = TamberHost.position(event);
        input(1, p[0], p[1]);
      });
      canvas.addEventListener('mousedown', function(event) {
        canvas.focus();
        var p = TamberHost.position(event);
        input(2, p[0], p[1], event.button, event.detail || 1);
        event.preventDefault();
      });
      // Released anywhere: the host may hold the capture.
      window.addEventListener('mouseup', function(event) {
        var p = TamberHost.position(event);
        input(3, p[0], p[1], event.button);
      });
      canvas.addEventListener('contextmenu', function(event) { event.preventDefault(); });
      canvas.addEventListener('wheel', function(event) {
        // One notch per event, away from the player positive, as Windows
        // counts a wheel's steps.
        if (event.deltaY !== 0) input(4, event.deltaY < 0 ? 1 : -1);
        event.preventDefault();
      }, {passive: false});
      var modifiers = function(event) { return (event.altKey ? 1 : 0) | (event.ctrlKey ? 2 : 0); };
      canvas.addEventListener('keydown', function(event) {
        var vk = TamberHost.virtualKey(event);
        if (vk) input(5, vk, event.repeat ? 1 : 0, modifiers(event));
        var key = event.key || '';
        var character = key.length === 1 || (key.length === 2 && key.charCodeAt(0) >= 0xD800 && key.charCodeAt(0) < 0xDC00);
        if (character && !event.ctrlKey && !event.metaKey && !event.altKey) {
          for (var i = 0; i < key.length; ++i) input(7, key.charCodeAt(i));
        }
        // The browser keeps its reload, developer and fullscreen keys and
        // its shortcuts; the host has every other key.
        var browserKey = vk === 0x74 || vk === 0x7A || vk === 0x7B || event.ctrlKey || event.metaKey;
        if (vk && !browserKey) event.preventDefault();
      });
      canvas.addEventListener('keyup', function(event) {
        var vk = TamberHost.virtualKey(event);
        if (vk) input(6, vk, 0, modifiers(event));
      });
      canvas.addEventListener('focus', function() { input(8, 1); });
      canvas.addEventListener('blur', function() { input(8, 0); });
      document.addEventListener('fullscreenchange', function() {
        if (!document.fullscreenElement && TamberHost.wantFullscreen) {
          TamberHost.wantFullscreen = false;
          Module['_tamber_web_fullscreen_ended']();
        }
      });
    },

    openWebGL: function(canvas) {
      var gl = canvas.getContext('webgl', {alpha: false, antialias: false, depth: false, preserveDrawingBuffer: true});
      if (!gl) return null;
      var shader = function(type, source) {
        var s = gl.createShader(type);
        gl.shaderSource(s, source);
        gl.compileShader(s);
        return s;
      };
      var program = gl.createProgram();
      gl.attachShader(program, shader(gl.VERTEX_SHADER,
        'attribute vec2 p; varying vec2 t; void main() { t = vec2(p.x * 0.5 + 0.5, 0.5 - p.y * 0.5); gl_Position = vec4(p, 0.0, 1.0); }'));
      gl.attachShader(program, shader(gl.FRAGMENT_SHADER,
        'precision mediump float; varying vec2 t; uniform sampler2D f; void main() { gl_FragColor = vec4(texture2D(f, t).rgb, 1.0); }'));
      gl.linkProgram(program);
      if (!gl.getProgramParameter(program, gl.LINK_STATUS)) return null;
      gl.useProgram(program);
      gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
      gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 1, -1, -1, 1, 1, 1]), gl.STATIC_DRAW);
      var where = gl.getAttribLocation(program, 'p');
      gl.enableVertexAttribArray(where);
      gl.vertexAttribPointer(where, 2, gl.FLOAT, false, 0, 0);
      gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
      gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, canvas.width, canvas.height, 0, gl.RGBA, gl.UNSIGNED_BYTE, null);
      return gl;
    },
  },

  tamber_web_page_visible__deps: ['$TamberHost'],
  tamber_web_page_visible: function() { return document.visibilityState === 'visible' ? 1 : 0; },

  tamber_web_show_message__deps: ['$TamberHost'],
  tamber_web_show_message: function(text) {
    var shown = '';
    for (var at = text >> 1; HEAPU16[at] !== 0; ++at) shown += String.fromCharCode(HEAPU16[at]);
    console.error('tamber: ' + shown);
    Module['tamber'].lastMessage = shown;
    var box = document.getElementById('tamber-message');
    if (box) { box.textContent = shown; box.hidden = false; }
  },

  tamber_web_set_capture__deps: ['$TamberHost'],
  tamber_web_set_capture: function(on) {
    var canvas = TamberHost.canvas;
    if (!canvas || TamberHost.pointerId === null) return;
    try {
      if (on) canvas.setPointerCapture(TamberHost.pointerId);
      else canvas.releasePointerCapture(TamberHost.pointerId);
    } catch (e) {
      // The pointer is no longer down: there is nothing to capture.
    }
  },

  tamber_web_set_cursor__deps: ['$TamberHost'],
  tamber_web_set_cursor: function(shape) {
    if (TamberHost.canvas) TamberHost.canvas.style.cursor = UTF8ToString(shape);
  },

  tamber_web_hide_canvas__deps: ['$TamberHost'],
  tamber_web_hide_canvas: function() {
    if (TamberHost.canvas) TamberHost.canvas.style.visibility = 'hidden';
  },

  tamber_web_open_presenter__deps: ['$TamberHost'],
  tamber_web_open_presenter: function(width, height) {
    var canvas = TamberHost.canvas;
    if (!canvas) {
      canvas = Module['canvas'] || document.getElementById('tamber-canvas');
      if (!canvas) return 0;
      TamberHost.canvas = canvas;
      canvas.width = width;
      canvas.height = height;
      TamberHost.listen(canvas);
      // A canvas keeps the kind of context it was first given: the
      // presenter is chosen once ("?present=webgl" asks for WebGL).
      var asked = new URLSearchParams(location.search).get('present');
      if (asked === 'webgl') {
        TamberHost.gl = TamberHost.openWebGL(canvas);
        if (TamberHost.gl) TamberHost.presenter = 'webgl';
        else console.warn('tamber: WebGL is not available here; frames are drawn with putImageData');
      }
      if (!TamberHost.presenter) {
        TamberHost.context = canvas.getContext('2d', {alpha: false});
        if (!TamberHost.context) return 0;
        TamberHost.presenter = '2d';
      }
      Module['tamber'].presenter = TamberHost.presenter;
    }
    canvas.style.visibility = 'visible';
    return canvas.width === width && canvas.height === height ? 1 : 0;
  },

  tamber_web_presenter_needs_alpha__deps: ['$TamberHost'],
  tamber_web_presenter_needs_alpha: function() { return TamberHost.presenter === '2d' ? 1 : 0; },

  tamber_web_request_fullscreen__deps: ['$TamberHost'],
  tamber_web_request_fullscreen: function() {
    var frame = TamberHost.canvas ? (TamberHost.canvas.parentElement || TamberHost.canvas) : null;
    var refused = function(reason) {
      console.warn('tamber: fullscreen mode refused: ' + reason);
      TamberHost.wantFullscreen = false;
      // Told on a later turn, never from inside the frame that asked.
      setTimeout(function() { Module['_tamber_web_fullscreen_ended'](); }, 0);
    };
    if (!frame || !frame.requestFullscreen) { refused('this browser has no Fullscreen API'); return; }
    TamberHost.wantFullscreen = true;
    try {
      frame.requestFullscreen().catch(function(error) { refused(error && error.message ? error.message : error); });
    } catch (error) {
      refused(error && error.message ? error.message : error);
    }
  },

  tamber_web_exit_fullscreen__deps: ['$TamberHost'],
  tamber_web_exit_fullscreen: function() {
    TamberHost.wantFullscreen = false;
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(function() {});
  },

  tamber_web_present__deps: ['$TamberHost'],
  tamber_web_present: function(pixels, width, height) {
    var bytes = width * height * 4;
    if (TamberHost.presenter === 'webgl') {
      var gl = TamberHost.gl;
      gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE,
                       HEAPU8.subarray(pixels, pixels + bytes));
      gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
      return;
    }
    // The ImageData is a view of the heap: made again only when the heap
    // has grown (a new buffer) or the pixels moved.
    var image = TamberHost.image;
    if (!image || image.data.buffer !== HEAPU8.buffer || image.data.byteOffset !== pixels || image.width !== width) {
      image = TamberHost.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, bytes), width, height);
    }
    TamberHost.context.putImageData(image, 0, 0);
  },

  tamber_web_store_sync__deps: ['$TamberHost'],
  tamber_web_store_sync: function() { TamberHost.sync(); },

  tamber_web_log_line: function(line) { console.log('download.log: ' + UTF8ToString(line)); },

  tamber_web_library_state__deps: ['$TamberHost'],
  tamber_web_library_state: function(path) {
    var entry = TamberHost.libraries[UTF8ToString(path)];
    return entry ? entry.state : 2;
  },

  tamber_web_library_begin__deps: ['$TamberHost'],
  tamber_web_library_begin: function(path) {
    var name = UTF8ToString(path);
    var entry = TamberHost.libraries[name] = {state: 0};
    // The dynamic linker's own loader, reading the store's file and
    // compiling it asynchronously; dlopen of the same path then binds it.
    loadDynamicLibrary(name, {loadAsync: true, global: false, nodelete: false, fs: FS}).then(function() {
      entry.state = 1;
    }, function(error) {
      console.error('tamber: cannot load ' + name + ': ' + error);
      delete LDSO.loadedLibsByName[name];
      entry.state = -1;
    });
  },

  tamber_web_library_forget__deps: ['$TamberHost'],
  tamber_web_library_forget: function(path) {
    var name = UTF8ToString(path);
    var entry = TamberHost.libraries[name];
    if (entry && entry.state !== 0) delete TamberHost.libraries[name];
  },

  tamber_web_frame_presented__deps: ['$TamberHost'],
  tamber_web_frame_presented: function(now, libraryLoaded, updateState) {
    var status = Module['tamber'];
    if (status.frames === 0) status.firstFrameMs = performance.now();
    status.frames++;
    status.libraryLoaded = !!libraryLoaded;
    status.updateState = updateState;
    // The updater's states in the order the frames showed them.
    if (status.states[status.states.length - 1] !== updateState) {
      status.states.push(updateState);
      status.stateTimes.push(performance.now());
      status.stateFrames.push(status.frames);
    }
    status.fullscreen = !!document.fullscreenElement;
  },

  // The last 600 frame steps' times, for the benchmark page.
  tamber_web_frame_step_time: function(ms) {
    var steps = Module['tamber'].stepMs;
    steps.push(ms);
    if (steps.length > 600) steps.shift();
  },

  tamber_web_absolute_url: function(relative, out, size) {
    var url = UTF8ToString(relative);
    if (url !== '') url = new URL(url, document.baseURI).href;
    return stringToUTF8(url, out, size);
  },
});
