// The form and field helpers: a form by number or by upper-case name, a
// field's members (one, or the whole group of that name), its type, and
// reading and setting its value. The form's own properties are taken from
// the prototype, so a field named "submit" or "elements" cannot hide them.
// The form scripts run after this one.
var FP = HTMLFormElement.prototype, EL = Object.getOwnPropertyDescriptor(FP, 'elements').get;
function form(f) {
    var fs = d.forms;
    if (typeof f === 'number')
        return fs[f - 1];
    for (var i = 0; i < fs.length; i++)
        if (String(fs[i].getAttribute('name') || '').toUpperCase() === f)
            return fs[i];
    return undefined;
}
function members(fm, n) {
    var x = EL.call(fm).namedItem(n);
    if (!x)
        return null;
    return x.tagName ? [ x ] : Array.prototype.slice.call(x);
}
var TEXTLIKE = [ 'TEXT', 'SEARCH', 'EMAIL', 'URL', 'TEL', 'NUMBER' ],
    KNOWN = [ 'RADIO', 'CHECKBOX', 'TEXTAREA', 'PASSWORD', 'SELECT-ONE', 'SELECT-MULTIPLE' ];
function type(m) {
    var t = String(m[0].type).toUpperCase();
    if (TEXTLIKE.indexOf(t) >= 0)
        return 'TEXT';
    return KNOWN.indexOf(t) >= 0 ? t : 'UNSUPPORTED';
}
function same(a, b) { return String(a).toUpperCase() === String(b).toUpperCase(); }
function yes(b) { return b ? 'True' : 'False'; }
function bool(v) {
    var s = String(v).trim().toUpperCase();
    if (s === 'TRUE')
        return true;
    if (s === 'FALSE')
        return false;
    if (s !== '' && !isNaN(Number(s)))
        return Number(s) !== 0;
    return null;
}
function fire(e) {
    e.dispatchEvent(new Event('input', {bubbles : true}));
    e.dispatchEvent(new Event('change', {bubbles : true}));
}
function get(m, t, sel) {
    var i, o;
    switch (t) {
    case 'RADIO':
        for (i = 0; i < m.length; i++)
            if (m[i].checked)
                return String(i + 1);
        return String(m.length + 1);
    case 'CHECKBOX':
        if (sel === '#N/A#')
            return m.length === 1 ? yes(m[0].checked) : '';
        for (i = 0; i < m.length; i++)
            if (String(m[i].value) === sel)
                return yes(m[i].checked);
        return '';
    case 'TEXT':
    case 'TEXTAREA':
    case 'PASSWORD':
        return String(m[0].value);
    case 'SELECT-ONE':
        o = m[0].options;
        for (i = 0; i < o.length; i++)
            if (o[i].selected)
                return String(o[i].text);
        return '';
    case 'SELECT-MULTIPLE':
        o = m[0].options;
        for (i = 0; i < o.length; i++)
            if (same(o[i].text, sel))
                return yes(o[i].selected);
        return '';
    }
    return '';
}
function set(m, t, v, sel) {
    var i, o, b;
    switch (t) {
    case 'RADIO':
        if (/^\s*\d+\s*$/.test(v)) {
            i = parseInt(v, 10);
            if (i >= 1 && i <= m.length) {
                m[i - 1].checked = true;
                fire(m[i - 1]);
            }
        }
        return;
    case 'CHECKBOX':
        b = bool(v);
        if (b === null)
            return;
        if (sel === '#N/A#') {
            if (m.length === 1) {
                m[0].checked = b;
                fire(m[0]);
            }
            return;
        }
        for (i = 0; i < m.length; i++)
            if (String(m[i].value) === sel) {
                m[i].checked = b;
                fire(m[i]);
                return;
            }
        return;
    case 'TEXT':
    case 'TEXTAREA':
    case 'PASSWORD':
        m[0].value = v;
        fire(m[0]);
        return;
    case 'SELECT-ONE':
        o = m[0].options;
        for (i = 0; i < o.length; i++)
            if (same(o[i].text, v)) {
                o[i].selected = true;
                fire(m[0]);
                return;
            }
        return;
    case 'SELECT-MULTIPLE':
        b = bool(v);
        if (b === null)
            return;
        o = m[0].options;
        for (i = 0; i < o.length; i++)
            if (same(o[i].text, sel)) {
                o[i].selected = b;
                fire(m[0]);
                return;
            }
        return;
    }
}
