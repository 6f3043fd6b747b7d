// WebCrypto for webcrypto_signature.cpp: each check imports the raw P-256
// point and verifies the raw r||s signature of the message (ECDSA, SHA-256).
// Its answer comes with the promise's; until then it reads as not answered.
// Nothing is thrown into the module: a key that is not on the curve, or a
// page without crypto.subtle, answers false.
mergeInto(LibraryManager.library, {
  // Checks by id: -1 while awaited, then 1 verified or 0 not.
  $tamberWebCrypto: {
    nextId: 1,
    answers: {},
    warned: false,
  },

  tamber_web_crypto_start__deps: ['$tamberWebCrypto'],
  tamber_web_crypto_start: function(key, message, length, signature) {
    var state = tamberWebCrypto;
    var id = state.nextId++;
    state.answers[id] = -1;
    // Copied now: the module's memory may change before the promises run.
    var keyBytes = HEAPU8.slice(key, key + 65);
    var messageBytes = HEAPU8.slice(message, message + length);
    var signatureBytes = HEAPU8.slice(signature, signature + 64);
    var settle = function(verified) {
      if (id in state.answers) state.answers[id] = verified ? 1 : 0;
    };
    var subtle = typeof crypto !== 'undefined' && crypto.subtle;
    if (!subtle) {
      if (!state.warned) {
        state.warned = true;
        console.error('No WebCrypto (crypto.subtle needs https or localhost): no signature verifies');
      }
      settle(false);
      return id;
    }
    try {
      subtle.importKey('raw', keyBytes, {name: 'ECDSA', namedCurve: 'P-256'}, false, ['verify'])
        .then(function(publicKey) {
          return subtle.verify({name: 'ECDSA', hash: 'SHA-256'}, publicKey, signatureBytes, messageBytes);
        })
        .then(settle, function() { settle(false); });
    } catch (e) {
      settle(false);
    }
    return id;
  },

  tamber_web_crypto_answer__deps: ['$tamberWebCrypto'],
  tamber_web_crypto_answer: function(id) {
    var answer = tamberWebCrypto.answers[id];
    return answer === undefined ? 0 : answer;
  },

  tamber_web_crypto_forget__deps: ['$tamberWebCrypto'],
  tamber_web_crypto_forget: function(id) {
    delete tamberWebCrypto.answers[id];
  },
});
