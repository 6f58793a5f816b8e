// Per frame: its name and address, each null when the frame (of another
// origin) refuses it; then this document's address and its FRAME elements.
var o = [], F = w.frames;
for (var i = 0; i < F.length; i++) {
    var n = null, l = null;
    try {
        n = String(F[i].name);
    } catch (e) {
    }
    try {
        l = String(F[i].location.href);
    } catch (e) {
    }
    o.push([ n, l ]);
}
return [ o, String(d.location.href), d.getElementsByTagName('FRAME').length ];
