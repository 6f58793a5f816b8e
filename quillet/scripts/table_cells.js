// Every cell's text, table by table and row by row (after tables.js).
var o = [];
for (var t = 0; t < T.length; t++) {
    var R = T[t].rows, rr = [];
    for (var r = 0; r < R.length; r++) {
        var C = R[r].cells, cc = [];
        for (var c = 0; c < C.length; c++)
            cc.push(String(C[c].outerText));
        rr.push(cc);
    }
    o.push(rr);
}
return o;
