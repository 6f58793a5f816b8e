// Every picture: address, alternative text, height, width, and the address of
// the link it sits in (empty when none).
var I = d.images, o = [];
for (var i = 0; i < I.length; i++) {
    var m = I[i], p = m.parentElement;
    o.push([
        String(m.src), String(m.alt), m.height | 0, m.width | 0,
        p && String(p.tagName).toUpperCase() === 'A' ? String(p.href) : ''
    ]);
}
return o;
