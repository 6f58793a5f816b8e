// The A.n-th link whose parent's text holds A.clip (any letter case), in one
// pass that stops there; each parent's text (costly on a big parent) is read
// once. [text, address], or null.
var E = d.getElementsByTagName('A'), c = String(A.clip).toLowerCase(), n = A.n, seen = new Map();
for (var i = 0; i < E.length; i++) {
    var a = E[i], h = String(a.href || '');
    if (!h)
        continue;
    var t = String(a.outerText);
    if (!t)
        continue;
    var p = a.parentElement;
    if (!p)
        continue;
    var pt = seen.get(p);
    if (pt === undefined) {
        pt = String(p.outerText).toLowerCase();
        seen.set(p, pt);
    }
    if (pt.indexOf(c) >= 0 && --n === 0)
        return [ t, h ];
}
return null;
