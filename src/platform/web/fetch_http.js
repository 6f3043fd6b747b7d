// The browser's fetch() behind fetch_http (fetch_http.h says what each
// call does and which error numbers it gives).
//
// Sessions and requests live here, in one table under small integer
// handles that are never 0 and never handed out twice, so a handle closed
// twice, or used after it was closed, finds nothing. A request's body is
// pulled from its stream, at most 64 KiB a read, into a queue of chunks;
// the pull stops while the queue's unread bytes are at or above the cap
// and goes on once reads take them below it, so a server that sends for
// ever costs at most the cap plus one read here (the browser's buffers
// then fill and it stops reading the socket).
mergeInto(LibraryManager.library, {
  $tamber_web_http: {
    cap: 1024 * 1024,  // unread bytes held for one request before the pull waits
    chunk: 65536,  // the most one read of the stream takes, where the stream lets it be chosen
    next: 1,
    // handle: {session: true, requests: Set of request handles} or a request.
    // A plain object: the library's objects are written out as literals.
    objects: {},
    // Error numbers, as fetch_http.h lists them.
    CANNOT_CONNECT: 7,
    BODY_CUT_OFF: 18,
    OUT_OF_MEMORY: 27,
    BAD_ARGUMENT: 43,
    RECEIVE_FAILED: 56,

    // The error number for what a fetch or a stream read was rejected with.
    errorOf: function(reason, otherwise) {
      return reason instanceof RangeError ? tamber_web_http.OUT_OF_MEMORY : otherwise;
    },
    fail: function(request, error) {
      if (!request.error) request.error = error;
    },
    // Reads the next chunk of the body unless one is being read, the body
    // has ended or failed, or the unread bytes are at the cap.
    pull: function(request) {
      if (request.pulling || !request.reader || request.done || request.error ||
          request.buffered >= tamber_web_http.cap)
        return;
      request.pulling = true;
      const read = request.byob ? request.reader.read(new Uint8Array(tamber_web_http.chunk))
                                : request.reader.read();
      // Rejections and anything thrown while a chunk is taken in (memory
      // that cannot be had) both fail the body.
      read.then(function(result) {
        request.pulling = false;
        if (request.closed) return;
        if (result.done) {
          request.done = true;
          return;
        }
        // A read into a buffer of its own may fill little of it: a server
        // sending a byte at a time must not cost a whole buffer per byte.
        let chunk = result.value;
        if (chunk.byteLength < chunk.buffer.byteLength / 2) chunk = chunk.slice();
        if (chunk.length > 0) {
          request.chunks.push(chunk);
          request.buffered += chunk.length;
          request.received += chunk.length;
        }
        tamber_web_http.pull(request);
      }).catch(function(reason) {
        request.pulling = false;
        if (request.closed || request.error) return;
        // A body that stops short of its announced length is an end, the
        // caller compares the sizes; without a length it is cut off. The
        // browser reports a reset connection and a missing last chunk
        // alike (a TypeError), so both are 18.
        if (request.length !== null && request.received < request.length) request.done = true;
        else tamber_web_http.fail(request, tamber_web_http.errorOf(reason, tamber_web_http.BODY_CUT_OFF));
      });
    },
    // Ends a request's fetch and its body stream, and forgets it.
    drop: function(handle, request) {
      request.closed = true;
      request.chunks = [];
      request.buffered = 0;
      request.controller.abort();
      if (request.reader) request.reader.cancel().catch(function() {});
      delete tamber_web_http.objects[handle];
      if (request.owner) request.owner.requests.delete(handle);
    },
    request: function(handle) {
      const object = tamber_web_http.objects[handle];
      return object && !object.session ? object : null;
    },
  },

  tamber_web_http_open_session__deps: ['$tamber_web_http'],
  tamber_web_http_open_session: function() {
    const handle = tamber_web_http.next++;
    tamber_web_http.objects[handle] = {session: true, requests: new Set()};
    return handle;
  },

  tamber_web_http_open_url__deps: ['$tamber_web_http'],
  tamber_web_http_open_url: function(sessionHandle, urlPointer, errorPointer) {
    const session = tamber_web_http.objects[sessionHandle];
    if (!session || !session.session) {
      HEAPU32[errorPointer >>> 2] = tamber_web_http.BAD_ARGUMENT;
      return 0;
    }
    const url = UTF8ToString(urlPointer);
    const handle = tamber_web_http.next++;
    const request = {
      owner: session, controller: new AbortController(), response: null, reader: null,
      length: null, chunks: [], offset: 0, buffered: 0, received: 0,
      byob: false, pulling: false, done: false, error: 0, closed: false,
    };
    tamber_web_http.objects[handle] = request;
    session.requests.add(handle);
    fetch(url, {cache: 'no-store', credentials: 'omit', redirect: 'follow',
                signal: request.controller.signal}).then(function(response) {
      if (request.closed) return;
      request.response = response;
      // The header counts the bytes as sent; with a Content-Encoding the
      // body arrives decoded, so its length is unknown.
      const encoding = response.headers.get('Content-Encoding');
      const length = response.headers.get('Content-Length');
      if (length !== null && /^[0-9]+$/.test(length.trim()) && (!encoding || encoding.trim() === 'identity'))
        request.length = Number(length.trim());
      if (response.body) {
        // A reader that reads into buffers of its own caller's size where
        // the browser has one: the default reader hands out whatever piled
        // up meanwhile, up to the browser's own buffer (2 MiB in Chromium).
        try {
          request.reader = response.body.getReader({mode: 'byob'});
          request.byob = true;
        } catch (notByteStream) {
          request.reader = response.body.getReader();
        }
        tamber_web_http.pull(request);
      } else {
        request.done = true;
      }
    }, function(reason) {
      if (request.closed || request.error) return;
      // The reason the browser gives (CORS, a network failure, a redirect
      // loop) never reaches the caller as a number: it goes to the console.
      console.warn('tamber: fetch of ' + url + ' failed: ' + reason);
      tamber_web_http.fail(request, tamber_web_http.errorOf(reason, tamber_web_http.CANNOT_CONNECT));
    });
    HEAPU32[errorPointer >>> 2] = 0;
    return handle;
  },

  // 0 waiting, 1 ready, 2 failed (the error at errorPointer).
  tamber_web_http_poll_open__deps: ['$tamber_web_http'],
  tamber_web_http_poll_open: function(handle, errorPointer) {
    const request = tamber_web_http.request(handle);
    if (!request) {
      HEAPU32[errorPointer >>> 2] = tamber_web_http.BAD_ARGUMENT;
      return 2;
    }
    if (request.response) return 1;
    if (!request.error) return 0;
    HEAPU32[errorPointer >>> 2] = request.error;
    return 2;
  },

  // The reply's status; 0 before the reply.
  tamber_web_http_status__deps: ['$tamber_web_http'],
  tamber_web_http_status: function(handle) {
    const request = tamber_web_http.request(handle);
    return request && request.response ? request.response.status : 0;
  },

  // 1 with the body's length at lengthPointer when one was announced that
  // a 32-bit count holds and that counts the bytes read; else 0.
  tamber_web_http_content_length__deps: ['$tamber_web_http'],
  tamber_web_http_content_length: function(handle, lengthPointer) {
    const request = tamber_web_http.request(handle);
    if (!request || request.length === null || request.length > 0xFFFFFFFF) return 0;
    HEAPU32[lengthPointer >>> 2] = request.length;
    return 1;
  },

  // Copies at most `size` held bytes to `buffer` and returns their count
  // (above 0); else 0 waiting, -1 end, -2 failed (the error at errorPointer).
  tamber_web_http_read__deps: ['$tamber_web_http'],
  tamber_web_http_read: function(handle, buffer, size, errorPointer) {
    const request = tamber_web_http.request(handle);
    if (!request) {
      HEAPU32[errorPointer >>> 2] = tamber_web_http.BAD_ARGUMENT;
      return -2;
    }
    buffer >>>= 0;  // a pointer past 2 GiB arrives negative
    let count = 0;
    while (count < size && request.chunks.length > 0) {
      const chunk = request.chunks[0];
      const taken = Math.min(size - count, chunk.length - request.offset);
      // HEAPU8 is looked up on each use: a memory growth replaces it.
      HEAPU8.set(chunk.subarray(request.offset, request.offset + taken), buffer + count);
      count += taken;
      request.offset += taken;
      if (request.offset === chunk.length) {
        request.chunks.shift();
        request.offset = 0;
      }
    }
    request.buffered -= count;
    tamber_web_http.pull(request);
    if (count > 0) return count;
    if (request.error) {
      HEAPU32[errorPointer >>> 2] = request.error;
      return -2;
    }
    return request.done ? -1 : 0;
  },

  // A session's requests fail (56) when it closes; they stay until closed.
  tamber_web_http_close__deps: ['$tamber_web_http'],
  tamber_web_http_close: function(handle) {
    const object = tamber_web_http.objects[handle];
    if (!object) return;
    if (!object.session) {
      tamber_web_http.drop(handle, object);
      return;
    }
    object.requests.forEach(function(requestHandle) {
      const request = tamber_web_http.objects[requestHandle];
      request.owner = null;
      if (!request.done) tamber_web_http.fail(request, tamber_web_http.RECEIVE_FAILED);
      request.controller.abort();
    });
    delete tamber_web_http.objects[handle];
  },

  // For tests: the unread body bytes held for all open requests.
  tamber_web_http_buffered_bytes__deps: ['$tamber_web_http'],
  tamber_web_http_buffered_bytes: function() {
    let total = 0;
    for (const handle in tamber_web_http.objects) {
      const object = tamber_web_http.objects[handle];
      if (!object.session) total += object.buffered;
    }
    return total;
  },
});
