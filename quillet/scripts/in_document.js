// The frame around every page script: the document of the frame path P is
// reached, and tested, before the body runs; a frame of another origin
// throws on the way and so counts as unusable (null). The body's answer comes
// back as {v: answer}; a body that throws answers {v: null}.
(function(P, A) {
var w = window, d;
try {
    for (var i = 0; i < P.length; i++)
        w = w.frames[P[i]];
    d = w.document;
    var t = String(d.title), u = String(d.URL);
    if (/res:\/\//i.test(u))
        return null;
} catch (e) {
    return null;
}
try {
    return {v : (function(d, w, A) { __BODY__ })(d, w, A)};
} catch (e) {
    return {v : null};
}
})
