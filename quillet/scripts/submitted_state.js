// Whether this is the document a submission left, and how far it has loaded.
return [ d.__quilletSubmitted === true, String(d.readyState) ];
