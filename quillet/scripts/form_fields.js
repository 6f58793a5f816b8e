// Per field: form number, type, name, value; a group of check boxes is one
// "{special array}" row and its name is not looked at again in that form.
var fs = d.forms, out = [];
for (var f = 0; f < fs.length; f++) {
    var E = EL.call(fs[f]), groups = {};
    for (var i = 0; i < E.length; i++) {
        try {
            var n = String(E[i].name);
            if (Object.prototype.hasOwnProperty.call(groups, n))
                continue;
            var m = members(fs[f], n);
            if (!m)
                continue;
            var t = type(m), v;
            if (m.length > 1 && typeof m[0].checked === 'boolean' &&
                (t === 'CHECKBOX' || t === 'SELECT-MULTIPLE')) {
                v = '{special array}';
                groups[n] = 1;
            } else {
                v = get(m, t, '#N/A#');
                if (v === '')
                    v = '{empty}';
            }
            out.push([ f + 1, t, n, v ]);
        } catch (e) {
        }
    }
}
return out;
